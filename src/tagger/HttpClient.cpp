// libcurl behind HttpClient.
#include "HttpClient.h"

#include <curl/curl.h>

#include <cstdlib>

namespace quimbrel::tagger {

namespace {

// libcurl (and the TLS library under it) is set up on the first request, not at start-up: a run that
// ends before the lookup never pays for it.
bool curlReady() {
    static const bool ready = [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            return false;
        std::atexit(curl_global_cleanup);
        return true;
    }();
    return ready;
}

} // namespace

HttpClient::HttpClient(HttpSettings settings) : m_settings(std::move(settings)) {}

HttpClient::~HttpClient() {
    if (m_curl != nullptr)
        curl_easy_cleanup(static_cast<CURL*>(m_curl));
}

void HttpClient::reset() {
    m_body.clear();
    m_status = 0;
    m_overflow = false;
}

std::size_t HttpClient::onData(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    const std::size_t n = size * count;
    if (n > client->m_maxBody - client->m_body.size()) {
        client->m_overflow = true;
        return 0;
    }
    client->m_body.append(data, n);
    return n;
}

HttpOutcome HttpClient::get(const std::string& url, std::size_t maxBody) {
    reset();
    m_maxBody = maxBody;
    if (m_curl == nullptr && curlReady())
        m_curl = curl_easy_init();
    CURL* curl = static_cast<CURL*>(m_curl);
    if (curl == nullptr)
        return HttpOutcome::Failed;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, m_settings.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The time-out is per network operation, not for the whole transfer: connecting, and then no byte
    // for 90 s.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kTimeoutMs / 1000);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // The extra file adds to the system's store: the CA directory stays curl's default.
    if (!m_settings.caFile.empty()) {
        if (const char* caPath = curl_version_info(CURLVERSION_NOW)->capath)
            curl_easy_setopt(curl, CURLOPT_CAPATH, caPath);
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_settings.caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBody));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpClient::onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK || m_overflow) {
        reset();
        return HttpOutcome::Failed;
    }
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    m_status = static_cast<int>(code);
    return HttpOutcome::Done;
}

} // namespace quimbrel::tagger
