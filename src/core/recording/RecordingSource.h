// The capture line as the recorder sees it: whether it can be recorded, and the volume the knob sets.
#pragma once

namespace quimbrel {

class TWASAPISource;

class RecordingSource {
public:
    virtual ~RecordingSource() = default;
    // The selected line is active and its last opening succeeded.
    virtual bool usable() const = 0;
    // Applies a knob position (1..100) to the recorded line.
    virtual void setvolume(int position) = 0;
};

// The recording source over the capture catalogue.
class WasapiRecordingSource final : public RecordingSource {
public:
    explicit WasapiRecordingSource(TWASAPISource& source) : m_source(source) {}
    bool usable() const override;
    void setvolume(int position) override;

private:
    TWASAPISource& m_source;
};

} // namespace quimbrel
