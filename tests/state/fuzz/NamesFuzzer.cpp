// Any bytes as names.xml: entries are appended or the file is reported, never both silently wrong.
#include "FuzzFile.h"

#include "ports/MessagePort.h"
#include "state/names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = quimbrel::fuzz::writeInput(data, size);
    quimbrel::RecordingMessagePort port;
    std::vector<std::string> list;
    const bool ok = quimbrel::readnamesfile(path, list, port);
    if (ok != (port.count() == 0))
        __builtin_trap();
    return 0;
}
