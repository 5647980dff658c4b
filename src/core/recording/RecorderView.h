// The view port: everything the recorder shows or asks through the main window's controls. The Qt main window
// implements it; tests and the command-line front end implement it plainly. All calls come on the UI thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quimbrel {

// The main window's buttons whose enabled state the recorder decides.
enum class RecorderButton { None, Record, Stop, Pause, Play, Library };

struct StatusColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const StatusColour&) const = default;
};

// What the save dialog is opened with.
struct SaveDialogRequest {
    std::string filter;           // the codec row's filter, e.g. "MP3 Files|*.mp3"
    std::string defaultExtension; // without the dot
    std::string initialFolder;
};

class RecorderView {
public:
    virtual ~RecorderView() = default;

    // Enable or disable a button. The recorder keeps the state itself too (Recorder::buttonEnabled).
    virtual void setButtonEnabled(RecorderButton button, bool enabled) = 0;
    // The file label: text "File:  name" and its hint, the full path.
    virtual void showFileLabel(const std::string& text, const std::string& hint) = 0;
    // The status label's text and font colour.
    virtual void showStatus(const std::string& text, StatusColour colour) = 0;
    // The time display, "hh:mm:ss".
    virtual void showTime(const std::string& text) = 0;
    // Move the volume knob to position 1..100. Must not call back into the recorder: the recorder has already
    // applied the position (Recorder::volumemainChange).
    virtual void showVolume(int position) = 0;
    // Run the save dialog modally; the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> runSaveDialog(const SaveDialogRequest& request) = 0;
    // The schedule list: write text into the Status column of row (0-based) / select the row.
    virtual void setScheduleStatus(int row, const std::string& text) = 0;
    virtual void selectScheduleRow(int row) = 0;
    // Refresh the recordings library window when it is visible (nothing when hidden).
    virtual void refreshLibrary() = 0;

    // The playback half of Play, Pause, Stop and the knob, in playback mode (mode 2). The recorder has
    // already updated its own state (mode, paused, buttons, status, time) when these are called. Pause (true)
    // or resume (false) the playing stream without restarting it.
    virtual void playbackPause(bool pause) { (void)pause; }
    // Stop and free the stream, put the slider to 0, redraw the spectrum once.
    virtual void playbackStop() {}
    // Set the stream volume to position / 100.
    virtual void playbackVolume(int position) { (void)position; }
};

} // namespace quimbrel
