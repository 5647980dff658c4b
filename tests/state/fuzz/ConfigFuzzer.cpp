// Any bytes as quimbrel.xml: the reader either fills the record or reports the document as unreadable.
#include "FuzzFile.h"

#include "state/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = quimbrel::fuzz::writeInput(data, size);
    quimbrel::config cfg;
    std::string error;
    if (!quimbrel::readConfigFile(path, cfg, &error) && error.empty())
        __builtin_trap();
    return 0;
}
