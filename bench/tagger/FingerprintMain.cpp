// Decodes and fingerprints the first two minutes of a file through the tagger's own identification code
// (same libraries, same start-up), stopping before any network: prints DURATION= and FINGERPRINT= lines,
// and with -raw the fingerprint as comma-separated numbers, as fpcalc -raw prints it.
#include "AudioDecoder.h"
#include "Driver.h"
#include "ServiceConfig.h"
#include "TRecognize.h"

#include <chromaprint.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    using namespace quimbrel::tagger;
    const bool raw = argc == 3 && std::strcmp(argv[1], "-raw") == 0;
    if (argc != 2 && !raw) {
        std::fprintf(stderr, "usage: ombrikw-fingerprint [-raw] FILE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    TRecognize recognize(ServiceConfig::defaults());
    AudioDecoder stream;
    if (!fingerprintFile(path, stream, recognize)) {
        std::fprintf(stderr, "cannot fingerprint %s (undecodable, or 120 s or shorter)\n", path);
        return 1;
    }
    std::printf("DURATION=%d\n", recognize.duration());
    const std::string& text = recognize.fingerprint();
    if (!raw) {
        std::printf("FINGERPRINT=%s\n", text.c_str());
        return 0;
    }
    std::uint32_t* values = nullptr;
    int size = 0;
    int algorithm = 0;
    if (!chromaprint_decode_fingerprint(text.c_str(), static_cast<int>(text.size()), &values, &size,
                                        &algorithm, 1)) {
        std::fprintf(stderr, "cannot decode the fingerprint\n");
        return 1;
    }
    std::printf("FINGERPRINT=");
    for (int i = 0; i < size; ++i)
        std::printf(i == 0 ? "%u" : ",%u", values[i]);
    std::printf("\n");
    chromaprint_dealloc(values);
    return 0;
}
