// What the window shows of a playback: where it is, what it sounds like, and that it has ended.
#pragma once

namespace quimbrel {

// Where a playback stands, read by the window's display timer. Bytes count 32-bit float samples at the
// playback's rate and channel count (those of the output device).
struct PlaybackPosition {
    long long lengthBytes = 0;
    long long positionBytes = 0; // what has been heard
    double seconds = 0.0;        // positionBytes as time
    bool active = false;         // open, started, not paused and not at its end
};

// The window's side of the player. Called on the player's owning thread.
class PlaybackView {
public:
    virtual ~PlaybackView() = default;
    // The file has been played to its last sample (or its output went away). Called once per opening; the
    // player may be stopped or re-opened from here.
    virtual void playbackEnded() = 0;
};

} // namespace quimbrel
