// One Chromaprint context together with the AcoustID client key and the last AcoustID answer.
#pragma once

#include "CPDefines.h"

#include <cstdint>
#include <string>

struct ChromaprintContextPrivate;

namespace quimbrel::tagger {

class TChromaPrint {
public:
    explicit TChromaPrint(std::string clientKey);
    ~TChromaPrint();
    TChromaPrint(const TChromaPrint&) = delete;
    TChromaPrint& operator=(const TChromaPrint&) = delete;

    // The rate Chromaprint computes the fingerprint at; samples at any other rate it resamples itself.
    static int sampleRate();

    // Creates the context (the library's default algorithm) when there is none and starts it.
    void start(int sampleRate, int channels);
    // count = number of 16-bit values in the block, all channels together.
    void feed(const std::int16_t* samples, int count);
    // Finishes and gives the compressed, base64-encoded fingerprint; empty without a started context.
    std::string finish();

    const std::string& clientKey() const { return m_clientKey; }
    TAcoustIDResponse& response() { return m_response; }
    const TAcoustIDResponse& response() const { return m_response; }

private:
    ChromaprintContextPrivate* m_context = nullptr;
    std::string m_clientKey;
    TAcoustIDResponse m_response;
};

} // namespace quimbrel::tagger
