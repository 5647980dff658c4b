// One HTTP GET at a time over libcurl, as the tagger needs it: HTTP/1.0, no redirects followed, a 90 s
// network time-out, certificates verified, the answer's size bounded.
#pragma once

#include <cstddef>
#include <string>

namespace quimbrel::tagger {

enum class HttpOutcome {
    None,
    // A complete response arrived, whatever its status code.
    Done,
    // No complete response: no connection, time-out, broken off, too large, failed verification.
    Failed,
};

struct HttpSettings {
    std::string userAgent;
    // Extra CA file trusted besides the system's store; empty for none.
    std::string caFile;
};

class HttpClient {
public:
    static constexpr std::size_t kMaxAnswer = 16u << 20;
    static constexpr long kTimeoutMs = 90000;

    explicit HttpClient(HttpSettings settings);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET of an absolute http or https address. An answer body longer than maxBody bytes fails.
    HttpOutcome get(const std::string& url, std::size_t maxBody = kMaxAnswer);
    int status() const { return m_status; }
    const std::string& body() const { return m_body; }
    // Empties the body and the status for the next request.
    void reset();

private:
    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* self);

    HttpSettings m_settings;
    void* m_curl = nullptr;
    std::string m_body;
    std::size_t m_maxBody = kMaxAnswer;
    bool m_overflow = false;
    int m_status = 0;
};

} // namespace quimbrel::tagger
