// The recording controller: starts, pauses and stops recordings, names each file, creates its writer and acts
// on every finished file. UI thread.
#pragma once

#include "encoder/TAudioWriter.h"

#include <string>

namespace quimbrel {

enum class RecorderStatus;
struct RecorderContext;

class RecordingController {
public:
    explicit RecordingController(RecorderContext& ctx) : m_ctx(ctx) {}

    void StartClick();
    int startrecord();
    void StopClick();
    void fullstop();
    void pausebuttonClick();
    void onrecordingfinished(const std::string& fileName);
    std::string getautoname();
    void ShowStatus(RecorderStatus status);
    // The writer returned -1: the recording stops at the end of the block and the failure is shown once.
    void writefailed();

    // The volume knob.
    void setknob(int position);
    void volumemainChange(int position);

    // Playback mode, entered and left by the window's player.
    void beginPlayback(const std::string& path);
    void endPlayback();

private:
    std::string runSaveDialog();
    void showFileLabel();
    // Finishes the active writer (which calls onrecordingfinished) and shows its failure, if any, once.
    void closewriter();
    void reportwritefailure(const std::string& file, const WriterOutcome& outcome);

    RecorderContext& m_ctx;
    bool m_namedByDialog = false; // the current file's name was chosen in the save dialog just now
};

// "hh:mm:ss" for a span of days (the time display).
std::string formatelapsed(double days);

} // namespace quimbrel
