// Chromaprint behind TChromaPrint.
#include "TChromaPrint.h"

#include <chromaprint.h>

namespace quimbrel::tagger {

TChromaPrint::TChromaPrint(std::string clientKey) : m_clientKey(std::move(clientKey)) {}

TChromaPrint::~TChromaPrint() {
    if (m_context != nullptr)
        chromaprint_free(m_context);
}

int TChromaPrint::sampleRate() {
    // The library tells the rate only through a context; it is the same for every algorithm it offers.
    ChromaprintContext* context = chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT);
    const int rate = chromaprint_get_sample_rate(context);
    chromaprint_free(context);
    return rate;
}

void TChromaPrint::start(int sampleRate, int channels) {
    if (m_context == nullptr)
        m_context = chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT);
    chromaprint_start(m_context, sampleRate, channels);
}

void TChromaPrint::feed(const std::int16_t* samples, int count) {
    if (m_context != nullptr)
        chromaprint_feed(m_context, samples, count);
}

std::string TChromaPrint::finish() {
    if (m_context == nullptr)
        return {};
    chromaprint_finish(m_context);
    char* text = nullptr;
    std::string result;
    if (chromaprint_get_fingerprint(m_context, &text) && text != nullptr)
        result = text;
    if (text != nullptr)
        chromaprint_dealloc(text);
    return result;
}

} // namespace quimbrel::tagger
