// The recogniser the driver works with: fingerprinting (through its TChromaPrint), the AcoustID lookup
// and the MusicBrainz query of one recording at a time.
#pragma once

#include "CPDefines.h"
#include "MusicBrainzPace.h"
#include "ServiceConfig.h"
#include "TChromaPrint.h"

#include <cstdint>
#include <string>

namespace quimbrel::tagger {

class TRecognize {
public:
    explicit TRecognize(ServiceConfig config);

    // Fingerprinting: start with the stream's format and the whole file's duration.
    void start(int sampleRate, int channels, int duration);
    void feed(const std::int16_t* block, int count);
    void finish();
    const std::string& fingerprint() const { return m_fingerprint; }
    int duration() const { return m_duration; }

    // Asks AcoustID for the stored fingerprint and duration; gives the number of results (0 when the
    // service could not be reached or answered with an error).
    int lookup();
    // Number of recording identifiers of the result, 0 for an index out of range.
    int recordingCount(int resultIndex);
    // Asks MusicBrainz about one recording, in turn with every other tagger of the user (the service's
    // rate limit); a 503 is retried once. True when the answer could be read; then title(), artist() and
    // album() hold it.
    bool queryRecording(int resultIndex, int recordingIndex);

    const std::string& title() const { return m_recording.title; }
    const std::string& artist() const { return m_recording.artist; }
    const std::string& album() const { return m_recording.album; }

private:
    ServiceConfig m_config;
    TChromaPrint m_chromaPrint;
    std::string m_fingerprint;
    int m_duration = 0;
    int m_resultCount = 0;
    TAcoustIDResult m_result;
    TQueryResults m_recording;
    MusicBrainzPace m_pace;
};

// A MusicBrainz identifier goes into the request's path as it stands, so only letters, digits and "-"
// are accepted.
bool isRecordingId(const std::string& id);

} // namespace quimbrel::tagger
