// Temporary home folders, file helpers and locales for the state tests.
#include "StateFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quimbrel::test {

namespace {

void setOrUnset(const char* name, bool had, const std::string& value) {
    if (had)
        ::setenv(name, value.c_str(), 1);
    else
        ::unsetenv(name);
}

// One folder per process for locales built on demand.
std::string localeFolder() {
    static const std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quimbrel-locales-XXXXXX").string();
        const char* made = ::mkdtemp(tmpl.data());
        return made ? std::string(made) : std::string();
    }();
    return folder;
}

} // namespace

void TempHome::SetUp() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quimbrel-state-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    m_root = tmpl + "/";
    std::filesystem::create_directories(home());
    if (const char* h = std::getenv("HOME")) {
        m_hadHome = true;
        m_oldHome = h;
    }
    if (const char* x = std::getenv("XDG_CONFIG_HOME")) {
        m_hadXdg = true;
        m_oldXdg = x;
    }
    ::setenv("HOME", home().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", configDir().c_str(), 1);
}

void TempHome::TearDown() {
    setOrUnset("HOME", m_hadHome, m_oldHome);
    setOrUnset("XDG_CONFIG_HOME", m_hadXdg, m_oldXdg);
    std::error_code ec;
    if (!m_root.empty())
        std::filesystem::remove_all(m_root, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

ScopedLocale::ScopedLocale(const std::string& name, const std::string& charset) {
    const std::string full = name + "." + charset;
    m_locale = ::newlocale(LC_ALL_MASK, full.c_str(), nullptr);
    if (!m_locale) {
        const std::string folder = localeFolder();
        if (folder.empty())
            return;
        const std::string target = folder + "/" + full;
        if (!std::filesystem::exists(target)) {
            const std::string cmd =
                "localedef -i " + name + " -f " + charset + " " + target + " >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(target))
                return;
        }
        // LOCPATH is read by each newlocale call; set it only around this one.
        const char* old = std::getenv("LOCPATH");
        const std::string saved = old ? old : "";
        ::setenv("LOCPATH", folder.c_str(), 1);
        m_locale = ::newlocale(LC_ALL_MASK, full.c_str(), nullptr);
        if (old)
            ::setenv("LOCPATH", saved.c_str(), 1);
        else
            ::unsetenv("LOCPATH");
        if (!m_locale)
            return;
    }
    m_previous = ::uselocale(m_locale);
}

ScopedLocale::~ScopedLocale() {
    if (!m_locale)
        return;
    ::uselocale(m_previous);
    ::freelocale(m_locale);
}

} // namespace quimbrel::test
