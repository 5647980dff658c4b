// Process running, the fake services and the fixtures of the tagger tests.
#include "TaggerTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace tagger_test {

namespace {

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> out;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (extra.count(name) == 0)
            out.push_back(entry);
    }
    for (const auto& [k, v] : extra)
        out.push_back(k + "=" + v);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

int spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          const fs::path& out, const fs::path& err) {
    std::vector<std::string> args = argv;
    std::vector<std::string> envs = environmentWith(env);
    auto argp = pointers(args);
    auto envp = pointers(envs);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

int waitFor(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> logField(const fs::path& log, const std::string& field) {
    // The log holds one JSON object per line, written by json.dumps: "field": "value".
    std::vector<std::string> out;
    std::istringstream in(readFile(log));
    std::string line;
    const std::string key = "\"" + field + "\": \"";
    while (std::getline(in, line)) {
        const std::size_t at = line.find(key);
        if (at == std::string::npos)
            continue;
        std::string value;
        for (std::size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            value += line[i];
        }
        out.push_back(value);
    }
    return out;
}

} // namespace

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
    TempDir dir;
    const int pid = spawn(argv, env, dir.path() / "out", dir.path() / "err");
    ProcessResult r;
    r.status = waitFor(pid);
    r.out = readFile(dir.path() / "out");
    r.err = readFile(dir.path() / "err");
    return r;
}

std::vector<ProcessResult> runProcessesTogether(const std::vector<std::vector<std::string>>& argvs,
                                                const std::map<std::string, std::string>& env) {
    TempDir dir;
    std::vector<int> pids;
    for (std::size_t i = 0; i < argvs.size(); ++i) {
        const std::string n = std::to_string(i);
        pids.push_back(spawn(argvs[i], env, dir.path() / ("out" + n), dir.path() / ("err" + n)));
    }
    std::vector<ProcessResult> results;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        const std::string n = std::to_string(i);
        ProcessResult r;
        r.status = waitFor(pids[i]);
        r.out = readFile(dir.path() / ("out" + n));
        r.err = readFile(dir.path() / ("err" + n));
        results.push_back(r);
    }
    return results;
}

TestCertificates makeTestCertificates(const fs::path& folder) {
    TestCertificates c{(folder / "ca.pem").string(), (folder / "cert.pem").string(),
                       (folder / "key.pem").string()};
    const std::string caKey = (folder / "ca.key").string();
    const std::string request = (folder / "cert.csr").string();
    const std::string extensions = (folder / "cert.ext").string();
    writeFile(extensions, "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
    const std::vector<std::vector<std::string>> steps = {
        {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=ombrikw test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
         "keyUsage=critical,keyCertSign,cRLSign", "-keyout", caKey, "-out", c.caFile},
        {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", c.keyFile,
         "-out", request},
        {"openssl", "x509", "-req", "-in", request, "-CA", c.caFile, "-CAkey", caKey, "-CAcreateserial",
         "-days", "2", "-extfile", extensions, "-out", c.certFile},
    };
    for (const auto& step : steps) {
        ProcessResult r = runProcess(step);
        if (r.status != 0)
            throw std::runtime_error("openssl failed: " + r.err);
    }
    return c;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ombrikw-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

FakeServices::FakeServices(const fs::path& folder, const std::string& cert, const std::string& key)
    : m_rules(folder / "rules.json"), m_log(folder / "requests.log"), m_https(!cert.empty()) {
    writeFile(m_rules, "{}");
    writeFile(m_log, "");
    const fs::path portFile = folder / "port";
    std::vector<std::string> argv = {"python3", QUIMBREL_SOURCE_DIR "/tests/tagger/fake_services.py",
                                     m_rules.string(), m_log.string()};
    if (m_https) {
        argv.push_back(cert);
        argv.push_back(key);
    }
    m_pid = spawn(argv, {}, portFile, folder / "server.err");
    // The server prints its port once it listens.
    for (int i = 0; i < 6000 && m_port == 0; ++i) {
        const std::string text = readFile(portFile);
        if (!text.empty() && text.back() == '\n')
            m_port = std::atoi(text.c_str());
        else
            usleep(10000);
    }
    if (m_port == 0)
        throw std::runtime_error("fake services did not start: " + readFile(folder / "server.err"));
}

FakeServices::~FakeServices() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitFor(m_pid);
    }
}

std::string FakeServices::baseUrl() const {
    return std::string(m_https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

void FakeServices::setRules(const std::string& json) {
    const fs::path tmp = m_rules.string() + ".new";
    writeFile(tmp, json);
    fs::rename(tmp, m_rules);
}

std::vector<std::string> FakeServices::requests() const {
    return logField(m_log, "path");
}
std::vector<std::string> FakeServices::userAgents() const {
    return logField(m_log, "user_agent");
}
std::vector<double> FakeServices::arrivals() const {
    std::vector<double> out;
    for (const std::string& t : logField(m_log, "received"))
        out.push_back(std::stod(t));
    return out;
}
void FakeServices::clearLog() {
    writeFile(m_log, "");
}

namespace {

// Made once, then reused by every later test process; a temporary name and a rename keep two processes
// making the same file from seeing half of it.
fs::path cached(const std::string& name, const std::vector<std::string>& ffmpegArgs) {
    const fs::path dir = fs::path(QUIMBREL_BINARY_DIR) / "tagger-fixtures";
    fs::create_directories(dir);
    const fs::path target = dir / name;
    if (fs::exists(target))
        return target;
    const fs::path tmp = dir / ("tmp-" + std::to_string(getpid()) + "-" + name);
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    argv.push_back(tmp.string());
    ProcessResult r = runProcess(argv);
    if (r.status != 0)
        throw std::runtime_error("ffmpeg failed for " + name + ": " + r.err);
    fs::rename(tmp, target);
    return target;
}

} // namespace

fs::path audioFixture(const std::string& extension, int seconds) {
    // Pink noise under a slow tremolo and a rising tone: deterministic, with structure for the fingerprint.
    const std::string source =
        "anoisesrc=d=" + std::to_string(seconds) +
        ":c=pink:r=44100:a=0.3:seed=7,tremolo=f=2:d=0.7,aformat=channel_layouts=stereo";
    std::vector<std::string> args = {"-f", "lavfi", "-i", source};
    if (extension == "mp3")
        args.insert(args.end(), {"-c:a", "libmp3lame", "-b:a", "128k"});
    else if (extension == "ogg")
        args.insert(args.end(), {"-c:a", "libvorbis", "-q:a", "3"});
    else if (extension == "wma")
        args.insert(args.end(), {"-c:a", "wmav2", "-b:a", "128k", "-f", "asf"});
    else if (extension == "m4a")
        args.insert(args.end(), {"-c:a", "aac", "-b:a", "128k", "-f", "ipod"});
    else if (extension == "flac")
        args.insert(args.end(), {"-c:a", "flac"});
    else if (extension == "wav")
        args.insert(args.end(), {"-c:a", "pcm_s16le"});
    return cached("noise" + std::to_string(seconds) + "." + extension, args);
}

fs::path pictureFixture(const std::string& extension) {
    std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=1", "-frames:v", "1"};
    if (extension == "gif" || extension == "bmp")
        args.insert(args.end(), {"-pix_fmt", extension == "gif" ? "rgb8" : "bgr24"});
    return cached("cover." + extension, args);
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace tagger_test
