// Any bytes as events.xml: the table never ends up larger than the largest count the reader accepts.
#include "FuzzFile.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/recevent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = quimbrel::fuzz::writeInput(data, size);
    quimbrel::RecordingMessagePort port;
    quimbrel::config cfg;
    quimbrel::eventtable table;
    const bool ok = quimbrel::readeventsfile(path, table, cfg, port);
    if (table.size() > static_cast<std::size_t>(quimbrel::kMaxEventCount) ||
        cfg.scheduler.numevents != static_cast<int>(table.size()) || ok != (port.count() == 0))
        __builtin_trap();
    return 0;
}
