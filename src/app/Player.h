// Playback of recordings: FFmpeg decodes the file, a PulseAudio playback stream plays it on the chosen sink,
// and the most recent samples are kept for the spectrum. Called on the UI thread; the end of a stream is
// reported there as the queued signal ended().
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace quimbrel {

// One output device: a PulseAudio sink. Device numbers start at 1 in the server's listing order.
struct PlaybackDevice {
    int number = 0;
    std::string name;        // the sink's name
    std::string description; // what the list shows
    bool enabled = true;     // false when the sink's active port is unplugged
    bool isDefault = false;
};

class Player final : public QObject {
    Q_OBJECT
public:
    explicit Player(QObject* parent = nullptr);
    ~Player() override;

    // The output devices, in device-number order; empty when no server answers.
    static std::vector<PlaybackDevice> devices();

    // Chooses the output device by number (-1 or an unknown number: the server's default sink) and connects.
    // Any open stream is freed. Returns whether the server answered.
    bool init(int device);
    int device() const { return m_device; }

    // Opens the file as a stream (paused until play). False when it cannot be decoded or played.
    bool open(const QString& path);
    void play();
    void pause();
    // Stops and frees the stream.
    void stop();

    // Playing: open, started, not paused and not at its end.
    bool isActive() const;
    bool isOpen() const;
    // Length and position in bytes of 32-bit float samples at the file's own rate and channels.
    long long lengthBytes() const;
    long long positionBytes() const;
    double bytesToSeconds(long long bytes) const;
    int channels() const;
    int rate() const;
    // 0.0 .. 1.0, applied to the samples as they are handed to the server.
    void setVolume(float volume);
    void setPosition(long long bytes);
    // Copies up to `bytes` bytes of the most recently played samples; returns the count copied.
    int getData(float* buffer, int bytes) const;

signals:
    void ended();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_device = -1;
};

} // namespace quimbrel
