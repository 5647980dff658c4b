// What the parts of the recorder share: the settings, the ports, the recording state, the active writer, the
// filters and the process launcher. One per recorder; UI thread only.
#pragma once

#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"
#include "recording/FilterBank.h"
#include "recording/ProcessLauncher.h"
#include "recording/RecorderView.h"
#include "recording/RecordingState.h"
#include "state/recevent.h"

#include <functional>
#include <memory>
#include <string>

namespace quimbrel {

struct config;
class Clock;
class MessagePort;
class RecorderView;
class RecordingSource;
class RecordingsDb;

// Creates the writer for a path in the capture format; throws WriterError.
using WriterFactory =
    std::function<std::unique_ptr<TAudioWriter>(const std::string& path, const WaveFormat& format)>;

struct RecorderContext {
    RecorderContext(config& c, RecorderView& v, MessagePort& m, Clock& k)
        : cfg(c), view(v), messages(m), clock(k) {}
    RecorderContext(const RecorderContext&) = delete;
    RecorderContext& operator=(const RecorderContext&) = delete;

    config& cfg;
    RecorderView& view;
    MessagePort& messages;
    Clock& clock;

    RecordingState state;
    WaveFormat captureformat;
    std::unique_ptr<TAudioWriter> writer;
    FilterBank filters;
    ProcessLauncher launcher;

    RecordingSource* source = nullptr; // the opened line, may be absent
    eventtable* events = nullptr;      // the scheduled events, may be absent
    RecordingsDb* database = nullptr;  // the recordings database, may be absent
    WriterFactory createWriter;
    std::function<void(const std::string&)> onFileFinished;

    // The event of entry i (1-based), or null when there is none.
    recevent* event(int entry) const {
        if (!events || entry < 1 || static_cast<std::size_t>(entry) > events->size())
            return nullptr;
        return &(*events)[static_cast<std::size_t>(entry) - 1];
    }

    void setButton(RecorderButton button, bool enabled);
};

} // namespace quimbrel
