// Decodes and fingerprints the first two minutes of a file exactly as ombrikw does, without any network:
// prints DURATION= and FINGERPRINT= lines.
#include "AudioDecoder.h"
#include "StreamFeeder.h"
#include "TChromaPrint.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace quimbrel::tagger;
    if (argc != 2) {
        std::fprintf(stderr, "usage: ombrikw-fingerprint FILE\n");
        return 2;
    }
    AudioDecoder stream;
    if (!stream.open(argv[1])) {
        std::fprintf(stderr, "cannot decode %s\n", argv[1]);
        return 1;
    }
    const int duration = wholeSeconds(stream.lengthSeconds());
    TChromaPrint chromaPrint("");
    chromaPrint.start(stream.sampleRate(), stream.channels());
    feedFirstSeconds(stream, kFingerprintSeconds,
                     [&](const std::int16_t* block, int count) { chromaPrint.feed(block, count); });
    std::printf("DURATION=%d\nFINGERPRINT=%s\n", duration, chromaPrint.finish().c_str());
    return 0;
}
