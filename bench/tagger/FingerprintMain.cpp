// Decodes and fingerprints the first two minutes of a file through the tagger's own identification code
// (same libraries, same start-up), stopping before any network: prints DURATION= and FINGERPRINT= lines.
#include "AudioDecoder.h"
#include "Driver.h"
#include "ServiceConfig.h"
#include "TRecognize.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace quimbrel::tagger;
    if (argc != 2) {
        std::fprintf(stderr, "usage: ombrikw-fingerprint FILE\n");
        return 2;
    }
    TRecognize recognize(ServiceConfig::defaults());
    AudioDecoder stream;
    if (!fingerprintFile(argv[1], stream, recognize)) {
        std::fprintf(stderr, "cannot fingerprint %s (undecodable, or 120 s or shorter)\n", argv[1]);
        return 1;
    }
    std::printf("DURATION=%d\nFINGERPRINT=%s\n", recognize.duration(), recognize.fingerprint().c_str());
    return 0;
}
