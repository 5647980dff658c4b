// Playback of recordings on a PulseAudio sink over the capture layer's connection (one main loop for all of
// the program's sound). The file is decoded on the player's own thread into a buffer; the stream's write
// callback, on the main-loop thread, only copies from that buffer. Everything public: the owning thread
// (the one that owns the dispatcher); the end of a file reaches the view through the dispatcher.
#pragma once

#include "playback/PlaybackView.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quimbrel {

class Dispatcher;
class FileDecoder;
namespace pulse {
class Connection;
class Stream;
} // namespace pulse

// One output device: a PulseAudio sink. Device numbers start at 1 in the server's listing order.
struct PlaybackDevice {
    int number = 0;
    std::string name;        // the sink's name
    std::string description; // what the list shows
    bool enabled = true;     // false when the sink's active port is unplugged
    bool isDefault = false;
};

class Player {
public:
    // Hands out the program's connection to the sound server (the capture layer's), or null with the
    // PulseAudio error number when no server answers.
    using ConnectionSource = std::function<std::shared_ptr<pulse::Connection>(int& error)>;

    Player(Dispatcher& dispatcher, ConnectionSource connection);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void setView(PlaybackView* view) { m_view = view; }

    // The output devices, in device-number order; empty when no server answers.
    std::vector<PlaybackDevice> devices();

    // Chooses the output device by number (-1 or an unknown number: the server's default sink). Any open file
    // is stopped. Returns whether the server answered.
    bool init(int device);
    int device() const { return m_device; }

    // Opens the file for playing (paused until play). False, with the reason in error(), when it cannot be
    // decoded or no output takes it.
    bool open(const std::string& path);
    void play();
    void pause();
    // Stops and forgets the file; no end is reported for it.
    void stop();

    bool isOpen() const { return m_stream != nullptr; }
    // Open, started, not paused and not at its end.
    bool isActive() const;
    const std::string& error() const { return m_error; }

    // Length and position in bytes of 32-bit float samples at the playback's rate and channels.
    long long lengthBytes() const;
    long long positionBytes() const;
    double bytesToSeconds(long long bytes) const;
    PlaybackPosition position() const;
    int channels() const { return m_channels; }
    int rate() const { return m_rate; }
    // 0.0 .. 1.0, applied to the samples as they are handed to the server.
    void setVolume(float volume);
    float volume() const { return m_volume.load(); }
    // Moves to a byte position (clamped to the file); a file at its end plays again from there.
    void setPosition(long long bytes);
    // Copies up to `bytes` bytes of the most recently played samples; returns the count copied.
    int getData(float* buffer, int bytes) const;

private:
    void decodeLoop();
    // Main-loop thread (or a thread holding the connection's lock): hands up to `bytes` to the server.
    void feed(std::size_t bytes);
    void reportEnd(unsigned generation);
    bool failOpen(const std::string& why);

    Dispatcher& m_dispatcher;
    ConnectionSource m_connectionSource;
    PlaybackView* m_view = nullptr;
    int m_device = -1;
    std::string m_sink; // empty: the server's default
    std::string m_error;

    std::shared_ptr<pulse::Connection> m_connection;
    std::unique_ptr<pulse::Stream> m_stream;
    std::unique_ptr<FileDecoder> m_decoder;
    std::thread m_thread;
    int m_rate = 0;
    int m_channels = 0;
    long long m_lengthFrames = 0;
    bool m_started = false;
    bool m_paused = false;
    bool m_ended = false;
    std::atomic<float> m_volume{1.0f};
    // The view's end reports check this token, so a report still queued for a destroyed player is ignored.
    std::shared_ptr<Player*> m_token;

    // Shared with the decoding thread and the main-loop thread, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<float> m_ring; // decoded samples waiting to be played
    std::size_t m_ringStart = 0;
    std::size_t m_ringCount = 0;
    bool m_decoded = false;        // the decoder has put the file's last sample into the ring
    bool m_quit = false;           // the decoding thread ends
    long long m_seekFrame = -1;    // a seek the decoding thread has still to make
    unsigned m_generation = 0;     // changes with every seek and opening: older pieces and ends are stale
    bool m_starved = false;        // the server asked for more than the ring held
    long long m_writtenFrames = 0; // frame position of the next sample handed to the server
    std::vector<float> m_recent;   // the most recently played samples
    std::size_t m_recentCount = 0;

    // Main-loop side, with the connection's lock held.
    std::vector<float> m_out;
    bool m_draining = false;
};

} // namespace quimbrel
