// The update site: certificates made with openssl, the server started with python3.
#include "UpdateSite.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace updatetest {

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

pid_t spawn(std::vector<std::string> argv, const fs::path& out, const fs::path& err) {
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void run(const std::vector<std::string>& argv, const fs::path& folder) {
    if (waitFor(spawn(argv, folder / "run.out", folder / "run.err")) != 0)
        throw std::runtime_error(argv[0] + " failed: " + readFile(folder / "run.err"));
}

} // namespace

Site::Site() {
    std::string pattern = (fs::temp_directory_path() / "quimbrel-update-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    const std::string ec[] = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"openssl", "req", "-x509"};
    ca.insert(ca.end(), std::begin(ec), std::end(ec));
    ca.insert(ca.end(),
              {"-days", "2", "-subj", "/CN=Quimbrel Test CA", "-keyout", path("ca.key"), "-out", caFile()});
    run(ca, m_root);
    std::vector<std::string> request = {"openssl", "req"};
    request.insert(request.end(), std::begin(ec), std::end(ec));
    request.insert(request.end(),
                   {"-subj", "/CN=127.0.0.1", "-keyout", path("key.pem"), "-out", path("server.csr")});
    run(request, m_root);
    writeFile(m_root / "ext.cnf", "subjectAltName=IP:127.0.0.1\n");
    run({"openssl", "x509", "-req", "-in", path("server.csr"), "-CA", caFile(), "-CAkey", path("ca.key"),
         "-CAcreateserial", "-days", "2", "-extfile", path("ext.cnf"), "-out", path("cert.pem")},
        m_root);
    const fs::path portFile = m_root / "port";
    m_pid = spawn({"python3", QUIMBREL_SOURCE_DIR "/tests/visual/update_server.py", m_root.string(),
                   path("cert.pem"), path("key.pem")},
                  portFile, m_root / "server.err");
    // The server prints its port once it listens.
    while (m_port == 0) {
        const std::string text = readFile(portFile);
        if (!text.empty() && text.back() == '\n')
            m_port = std::atoi(text.c_str());
        else if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            throw std::runtime_error("update server ended: " + readFile(m_root / "server.err"));
        else
            std::this_thread::sleep_for(10ms);
    }
}

Site::~Site() {
    kill(m_pid, SIGTERM);
    waitFor(m_pid);
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string Site::path(const std::string& name) const {
    return (m_root / name).string();
}

std::string Site::url(const std::string& kind, const std::string& name) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + "/" + kind + (name.empty() ? "" : "/" + name);
}

std::string Site::publish(const std::string& name, const std::string& body) const {
    writeFile(m_root / name, body);
    return url("files", name);
}

std::string Site::requestLog() const {
    return readFile(m_root / "requests.log");
}

void Site::clearLog() const {
    writeFile(m_root / "requests.log", "");
}

std::string document(const std::string& version, const std::string& page) {
    return "<?xml version=\"1.0\"?>\n<Updates>\n  <Program_Info>\n    <Program_Version>" + version +
           "</Program_Version>\n  </Program_Info>\n  <Web_Info>\n    <Application_URLs>\n"
           "      <Application_Info_URL>" +
           page + "</Application_Info_URL>\n    </Application_URLs>\n  </Web_Info>\n</Updates>\n";
}

} // namespace updatetest
