// Fuzzes the AcoustID answer reader with arbitrary bytes.
#include "AcoustIDParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quimbrel::tagger::TAcoustIDResponse response;
    quimbrel::tagger::parseAcoustIDResponse(std::string_view(reinterpret_cast<const char*>(data), size),
                                            response);
    return 0;
}
