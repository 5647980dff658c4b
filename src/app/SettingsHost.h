// What the settings window may reach: the record it edits, the catalogue and line it chooses from, and the
// few actions it may ask of the window that owns it. The main window implements it. UI thread.
#pragma once

#include "playback/Player.h"
#include "ports/WaveFormat.h"

#include <string>
#include <vector>

namespace quimbrel {

class MessagePort;
class TWASAPISource;
struct config;

class SettingsHost {
public:
    virtual ~SettingsHost() = default;

    // The settings record the dialog's controls read and write.
    virtual config& cfg() = 0;
    // The remembered name templates the naming dialog offers and adds to.
    virtual std::vector<std::string>& nameTemplates() = 0;
    // The endpoint catalogue and the open line; null when there is none.
    virtual TWASAPISource* lineSource() = 0;
    virtual const WaveFormat& captureformat() const = 0;
    // A file is being written, or voice operation holds one open between sounds: source and codec changes
    // are refused meanwhile.
    virtual bool isWriting() const = 0;
    virtual MessagePort& messagePort() = 0;

    // After the line changed: the knob shows and applies the level the line reports (in record mode).
    virtual void lineVolumeChanged(int volume) = 0;
    // Register the hot keys (true) or remove them (false).
    virtual void setHotKeys(bool on) = 0;
    // After "Apply settings": re-open the line in the new format.
    virtual void reconfig(int rate, int channels) = 0;
    // The filters after a frequency or switch changed.
    virtual void filtersupdate() = 0;
    // The VOX and TIMER lamps after their switches changed.
    virtual void showinfo() = 0;
    virtual void setStayOnTop(bool on) = 0;
    // The playback devices to choose from, and the one chosen in the list (its device number).
    virtual std::vector<PlaybackDevice> playbackDevices() = 0;
    virtual void setPlaybackDevice(int number) = 0;
    // The update button: check for a newer version and report every outcome.
    virtual void checkForUpdates() = 0;
};

} // namespace quimbrel
