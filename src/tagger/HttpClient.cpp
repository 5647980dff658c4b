// libcurl behind HttpClient. The library is loaded on the first request rather than linked: fingerprinting
// comes first and a run that ends before the lookup (a short or undecodable file) never loads it, nor the
// TLS, LDAP and SSH libraries under it.
#include "HttpClient.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>

namespace quimbrel::tagger {

namespace {

struct CurlApi {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_global_cleanup) globalCleanup = nullptr;
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_easy_cleanup) easyCleanup = nullptr;
    decltype(&curl_easy_reset) easyReset = nullptr;
    decltype(&curl_easy_setopt) easySetopt = nullptr;
    decltype(&curl_easy_perform) easyPerform = nullptr;
    decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
    decltype(&curl_version_info) versionInfo = nullptr;
};

template <typename F> bool bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

const CurlApi* loadCurl() {
    static CurlApi api;
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return nullptr;
    const bool bound = bind(library, "curl_global_init", api.globalInit) &&
                       bind(library, "curl_global_cleanup", api.globalCleanup) &&
                       bind(library, "curl_easy_init", api.easyInit) &&
                       bind(library, "curl_easy_cleanup", api.easyCleanup) &&
                       bind(library, "curl_easy_reset", api.easyReset) &&
                       bind(library, "curl_easy_setopt", api.easySetopt) &&
                       bind(library, "curl_easy_perform", api.easyPerform) &&
                       bind(library, "curl_easy_getinfo", api.easyGetinfo) &&
                       bind(library, "curl_version_info", api.versionInfo);
    if (!bound || api.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr;
    std::atexit([] { api.globalCleanup(); });
    return &api;
}

// Loaded and set up once per process; null when libcurl is missing, which makes every request fail.
const CurlApi* curl() {
    static const CurlApi* const api = loadCurl();
    return api;
}

} // namespace

HttpClient::HttpClient(HttpSettings settings) : m_settings(std::move(settings)) {}

HttpClient::~HttpClient() {
    if (m_curl != nullptr)
        curl()->easyCleanup(static_cast<CURL*>(m_curl));
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
    const CurlApi* api = curl();
    if (api == nullptr)
        return HttpOutcome::Failed;
    if (m_curl == nullptr)
        m_curl = api->easyInit();
    CURL* curl = static_cast<CURL*>(m_curl);
    if (curl == nullptr)
        return HttpOutcome::Failed;
    api->easyReset(curl);
    api->easySetopt(curl, CURLOPT_URL, url.c_str());
    api->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    api->easySetopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    api->easySetopt(curl, CURLOPT_HTTPGET, 1L);
    api->easySetopt(curl, CURLOPT_USERAGENT, m_settings.userAgent.c_str());
    api->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    api->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The time-out is per network operation, not for the whole transfer: connecting, and then no byte
    // for 90 s.
    api->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
    api->easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api->easySetopt(curl, CURLOPT_LOW_SPEED_TIME, kTimeoutMs / 1000);
    api->easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    api->easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // The extra file adds to the system's store: the CA directory stays curl's default.
    if (!m_settings.caFile.empty()) {
        if (const char* caPath = api->versionInfo(CURLVERSION_NOW)->capath)
            api->easySetopt(curl, CURLOPT_CAPATH, caPath);
        api->easySetopt(curl, CURLOPT_CAINFO, m_settings.caFile.c_str());
    }
    api->easySetopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBody));
    api->easySetopt(curl, CURLOPT_WRITEFUNCTION, &HttpClient::onData);
    api->easySetopt(curl, CURLOPT_WRITEDATA, this);
    const CURLcode rc = api->easyPerform(curl);
    if (rc != CURLE_OK || m_overflow) {
        reset();
        return HttpOutcome::Failed;
    }
    long code = 0;
    api->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    m_status = static_cast<int>(code);
    return HttpOutcome::Done;
}

} // namespace quimbrel::tagger
