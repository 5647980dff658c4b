// The recording controller: starts, pauses and stops recordings, names each file, creates its writer and acts
// on every finished file. UI thread.
#pragma once

#include <string>

namespace quimbrel {

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
    void ShowStatus(int index);

    // The volume knob.
    void setknob(int position);
    void volumemainChange(int position);

    // Playback mode, entered and left by the window's player.
    void beginPlayback(const std::string& path);
    void endPlayback();

private:
    std::string runSaveDialog();
    void showFileLabel();
    // Destroys the active writer, which finishes its file and calls onrecordingfinished.
    void closewriter();

    RecorderContext& m_ctx;
    bool m_namedByDialog = false; // the current file's name was chosen in the save dialog just now
};

// "hh:mm:ss" for a span of days (the time display).
std::string formatelapsed(double days);

} // namespace quimbrel
