// The per-user places: data folder, music folder, program folder, the autostart entry and the tagger's
// settings.
#include "state/config.h"

#include "state/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace quimbrel {

namespace {

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(first, last - first + 1));
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string autostartFile() {
    return configHome() + "autostart/quimbrel.desktop";
}

// Quotes the program path for an Exec= line: the desktop entry's argument quoting, then its string escapes.
std::string execValue(const std::string& path) {
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg = path;
    if (path.find_first_of(kReserved) != std::string::npos) {
        arg = "\"";
        for (char c : path) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                arg += '\\';
            arg += c;
        }
        arg += '"';
    }
    std::string value;
    for (char c : arg) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '%')
            value += "%%";
        else if (c == '\n')
            value += "\\n";
        else
            value += c;
    }
    return value;
}

// The value of key in [group] of a desktop-entry or INI style file; found is false when absent.
std::string iniValue(const std::string& text, std::string_view group, std::string_view key, bool& found) {
    found = false;
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#' || t[0] == ';')
            continue;
        if (t.front() == '[') {
            inGroup = t == "[" + std::string(group) + "]";
            continue;
        }
        if (!inGroup)
            continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos || trimmed(std::string_view(t).substr(0, eq)) != key)
            continue;
        found = true;
        return trimmed(std::string_view(t).substr(eq + 1));
    }
    return {};
}

} // namespace

std::string configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return withSlash(xdg);
    return withSlash(homeFolder()) + ".config/";
}

std::string dataFolder() {
    return configHome() + "Tarvolt/quimbrel/";
}

std::string musicFolder() {
    std::string home = homeFolder();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    bool found = false;
    // user-dirs.dirs is a shell fragment without groups; give it one so the INI reader can read it.
    std::string value =
        iniValue("[dirs]\n" + readWholeFile(configHome() + "user-dirs.dirs"), "dirs", "XDG_MUSIC_DIR", found);
    if (found && value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = trimmed(std::string_view(value).substr(1, value.size() - 2));
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        // A folder set to the home folder itself means "not set".
        if (!value.empty() && value[0] == '/' && withSlash(value) != withSlash(home))
            return withSlash(value);
    }
    return withSlash(home) + "Music/";
}

std::string programPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string programFolder() {
    const std::string path = programPath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string programDataFolder() {
    const std::string folder = programFolder();
    const std::string installed = folder + "../share/quimbrel/";
    std::error_code ec;
    if (std::filesystem::is_directory(installed, ec))
        return std::filesystem::path(installed).lexically_normal().string();
    return folder;
}

bool getrunatlogon() {
    const std::string text = readWholeFile(autostartFile());
    bool found = false;
    const std::string exec = iniValue(text, "Desktop Entry", "Exec", found);
    bool hiddenFound = false;
    const std::string hidden = iniValue(text, "Desktop Entry", "Hidden", hiddenFound);
    return found && !exec.empty() && hidden != "true";
}

bool setrunatlogon(bool on) {
    const std::string file = autostartFile();
    if (!on)
        return ::unlink(file.c_str()) == 0 || errno == ENOENT;
    if (!makeFolders(configHome() + "autostart"))
        return false;
    const std::string text = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=quimbrel\n"
                             "Exec=" +
                             execValue(programPath()) +
                             "\n"
                             "X-GNOME-Autostart-enabled=true\n";
    return replaceFileAtomically(file, text);
}

std::string taggerfolder() {
    bool found = false;
    std::string value =
        iniValue(readWholeFile(configHome() + "Selvane/Ombrik.conf"), "Settings", "Path", found);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return withSlash(trimmed(value));
}

std::string taggerprogram() {
    const std::string folder = taggerfolder();
    return (folder.empty() ? programFolder() : folder) + "ombrikw";
}

} // namespace quimbrel
