// The AcoustID and MusicBrainz requests of the recogniser.
#include "TRecognize.h"

#include "AcoustIDParser.h"
#include "HttpClient.h"
#include "MusicBrainzParser.h"
#include "UrlEncode.h"

namespace quimbrel::tagger {

namespace {

constexpr int kServiceUnavailable = 503;

} // namespace

bool isRecordingId(const std::string& id) {
    if (id.empty() || id.size() > 64)
        return false;
    for (char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-'))
            return false;
    }
    return true;
}

TRecognize::TRecognize(ServiceConfig config)
    : m_config(std::move(config)), m_chromaPrint(m_config.acoustidKey),
      m_pace(m_config.musicbrainzLockFile, m_config.musicbrainzPause) {}

void TRecognize::start(int sampleRate, int channels, int duration) {
    m_duration = duration;
    m_chromaPrint.start(sampleRate, channels);
}

void TRecognize::feed(const std::int16_t* block, int count) {
    m_chromaPrint.feed(block, count);
}

void TRecognize::finish() {
    m_fingerprint = m_chromaPrint.finish();
}

int TRecognize::lookup() {
    TAcoustIDResponse& response = m_chromaPrint.response();
    response.results.clear();
    // The fingerprint is URL-safe base64; the key comes from the environment and is encoded.
    const std::string url = m_config.acoustidUrl +
                            "/v2/lookup?client=" + urlencode(m_chromaPrint.clientKey()) +
                            "&format=xml&duration=" + std::to_string(m_duration) +
                            "&meta=recordingids&fingerprint=" + m_fingerprint;
    HttpClient http({m_config.userAgent, m_config.caFile});
    if (http.get(url) == HttpOutcome::Done)
        parseAcoustIDResponse(http.body(), response);
    m_resultCount = static_cast<int>(response.results.size());
    return m_resultCount;
}

int TRecognize::recordingCount(int resultIndex) {
    const auto& results = m_chromaPrint.response().results;
    if (resultIndex < 0 || static_cast<std::size_t>(resultIndex) >= results.size())
        return 0;
    m_result = results[static_cast<std::size_t>(resultIndex)];
    return static_cast<int>(m_result.recordings.size());
}

bool TRecognize::queryRecording(int resultIndex, int recordingIndex) {
    m_recording = TQueryResults();
    const auto& results = m_chromaPrint.response().results;
    if (resultIndex < 0 || static_cast<std::size_t>(resultIndex) >= results.size())
        return false;
    m_result = results[static_cast<std::size_t>(resultIndex)];
    if (recordingIndex < 0 || static_cast<std::size_t>(recordingIndex) >= m_result.recordings.size())
        return false;
    const std::string& id = m_result.recordings[static_cast<std::size_t>(recordingIndex)];
    if (!isRecordingId(id))
        return false;
    const std::string url = m_config.musicbrainzUrl + "/ws/2/recording/" + id + "?inc=artists+releases";
    HttpClient http({m_config.userAgent, m_config.caFile});
    m_pace.wait();
    HttpOutcome outcome = http.get(url);
    if (outcome == HttpOutcome::Done && http.status() == kServiceUnavailable) {
        m_pace.wait();
        outcome = http.get(url);
    }
    if (outcome != HttpOutcome::Done || http.status() == kServiceUnavailable)
        return false;
    return parseMusicBrainzRecording(http.body(), m_recording);
}

} // namespace quimbrel::tagger
