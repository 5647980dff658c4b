// Fuzzes the Last.fm line reader and the query-value encoding of what it reads.
#include "LastfmReader.h"
#include "UrlEncode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    quimbrel::tagger::LastfmAnswer answer = quimbrel::tagger::readLastfmLines(body);
    if (answer.album)
        quimbrel::tagger::urlencode(quimbrel::tagger::lowercase(*answer.album));
    quimbrel::tagger::lowercase(body);
    return 0;
}
