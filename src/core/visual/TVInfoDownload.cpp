// The download through libcurl's multi interface: the worker sleeps in curl_multi_poll, which Terminate()
// interrupts with curl_multi_wakeup, so ending a check never waits for the network.
#include "visual/TVInfoDownload.h"

#include <curl/curl.h>

namespace quimbrel {

namespace {

// curl_global_init is not safe to run beside other threads: done once, on the first owning thread.
void prepareCurl() {
    static const bool prepared = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)prepared;
}

} // namespace

TVInfoDownload::TVInfoDownload(DownloadSettings settings, std::function<void(DownloadOutcome&)> handOver)
    : m_settings(std::move(settings)), m_handOver(std::move(handOver)) {
    prepareCurl();
    CURLM* multi = curl_multi_init();
    CURL* easy = curl_easy_init();
    m_multi = multi;
    m_easy = easy;
    if (multi != nullptr && easy != nullptr) {
        curl_easy_setopt(easy, CURLOPT_URL, m_settings.url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Check updates");
        // Always fetched afresh: no cached copy from a proxy on the way.
        curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        m_headers = headers;
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_settings.timeout.count()));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_settings.timeout.count()));
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        // The extra file adds to the system's store: the CA directory stays curl's default.
        if (!m_settings.caFile.empty()) {
            if (const char* caPath = curl_version_info(CURLVERSION_NOW)->capath)
                curl_easy_setopt(easy, CURLOPT_CAPATH, caPath);
            curl_easy_setopt(easy, CURLOPT_CAINFO, m_settings.caFile.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_settings.maxBytes));
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TVInfoDownload::onData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_multi_add_handle(multi, easy);
    }
    m_thread = std::thread([this] { Execute(); });
}

TVInfoDownload::~TVInfoDownload() {
    Terminate();
    if (m_thread.joinable())
        m_thread.join();
    auto* multi = static_cast<CURLM*>(m_multi);
    auto* easy = static_cast<CURL*>(m_easy);
    if (multi != nullptr && easy != nullptr)
        curl_multi_remove_handle(multi, easy);
    if (easy != nullptr)
        curl_easy_cleanup(easy);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
    curl_slist_free_all(static_cast<curl_slist*>(m_headers));
}

void TVInfoDownload::Terminate() {
    m_terminated = true;
    if (m_multi != nullptr)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

std::size_t TVInfoDownload::onData(char* data, std::size_t size, std::size_t count, void* self) {
    auto* download = static_cast<TVInfoDownload*>(self);
    const std::size_t n = size * count;
    if (n > download->m_settings.maxBytes - download->m_buffer.size()) {
        download->m_overflow = true;
        return CURL_WRITEFUNC_ERROR;
    }
    download->m_buffer.append(data, n);
    return n;
}

void TVInfoDownload::Execute() {
    DownloadOutcome outcome;
    auto* multi = static_cast<CURLM*>(m_multi);
    auto* easy = static_cast<CURL*>(m_easy);
    if (multi == nullptr || easy == nullptr) {
        outcome.error = "the web client could not be set up";
    } else {
        CURLcode result = CURLE_OK;
        bool done = false;
        while (!m_terminated && !done) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    result = message->data.result;
                    done = true;
                }
            }
            if (!done && running == 0)
                break;
            if (!done && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
        }
        long status = 0;
        curl_off_t declared = -1;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        if (m_overflow)
            outcome.error = "the answer is longer than " + std::to_string(m_settings.maxBytes) + " bytes";
        else if (!done || result != CURLE_OK)
            outcome.error = done ? curl_easy_strerror(result) : "the transfer did not end";
        else if (status != 200)
            outcome.error = "the server answered " + std::to_string(status);
        else if (declared < 0)
            outcome.error = "the answer declares no length";
        else if (static_cast<std::size_t>(declared) != m_buffer.size())
            outcome.error = "the answer declares " + std::to_string(declared) + " bytes, " +
                            std::to_string(m_buffer.size()) + " arrived";
        else
            outcome.ok = true;
        if (outcome.ok)
            outcome.body = std::move(m_buffer);
    }
    if (!m_terminated && m_handOver)
        m_handOver(outcome);
    m_finished = true;
}

} // namespace quimbrel
