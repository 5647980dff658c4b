// Fuzzes the MusicBrainz answer reader, and the vote over what it reads.
#include "MusicBrainzParser.h"
#include "Vote.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quimbrel::tagger::TQueryResults recording;
    if (quimbrel::tagger::parseMusicBrainzRecording(
            std::string_view(reinterpret_cast<const char*>(data), size), recording))
        quimbrel::tagger::vote({recording, recording});
    return 0;
}
