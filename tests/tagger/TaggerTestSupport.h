// Helpers of the tagger tests: running programs, the fake web services, and cached audio fixtures.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tagger_test {

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up on PATH) with extra environment variables; captures stdout and stderr.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {});

// Starts every command at once and waits for all of them.
std::vector<ProcessResult> runProcessesTogether(const std::vector<std::vector<std::string>>& argvs,
                                                const std::map<std::string, std::string>& env = {});

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& data);

// A fresh temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The stand-in services (fake_services.py) on 127.0.0.1, answering from a rule file (JSON) that may be
// rewritten between requests; every request is logged.
class FakeServices {
public:
    // With cert and key, the server speaks HTTPS.
    explicit FakeServices(const std::filesystem::path& folder, const std::string& cert = {},
                          const std::string& key = {});
    ~FakeServices();
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    int port() const { return m_port; }
    std::string baseUrl() const;
    void setRules(const std::string& json);
    // The request paths logged so far, in order.
    std::vector<std::string> requests() const;
    std::vector<std::string> userAgents() const;
    // When each request arrived, in seconds of the system's monotonic clock (std::chrono::steady_clock).
    std::vector<double> arrivals() const;
    void clearLog();

private:
    std::filesystem::path m_rules;
    std::filesystem::path m_log;
    int m_pid = -1;
    int m_port = 0;
    bool m_https = false;
};

// A certificate authority made for the test and a server certificate it signed for 127.0.0.1.
struct TestCertificates {
    std::string caFile;
    std::string certFile;
    std::string keyFile;
};
TestCertificates makeTestCertificates(const std::filesystem::path& folder);

// A generated audio file of `seconds` seconds in the format of `extension` (mp3, ogg, wma, wav, flac,
// m4a), made once with the ffmpeg program and kept in the build tree for later runs.
std::filesystem::path audioFixture(const std::string& extension, int seconds);

// A small picture made with the ffmpeg program (png, jpg, bmp, gif, tiff).
std::filesystem::path pictureFixture(const std::string& extension);

// JSON string literal of text.
std::string jsonString(const std::string& text);

} // namespace tagger_test
