// The three biquad filters of the block chain (high-pass, low-pass, notch). UI thread.
#pragma once

#include <cstdint>

struct fenwave_biquad;

namespace quimbrel {

struct config;

class FilterBank {
public:
    // Creates the three filters for the given channel count.
    explicit FilterBank(int channels = 2);
    ~FilterBank();
    FilterBank(const FilterBank&) = delete;
    FilterBank& operator=(const FilterBank&) = delete;

    int channels() const;
    // Re-creates all three filters when their channel count differs; true when it did.
    bool ensureChannels(int channels);
    // Sets kind, frequency and Q from the settings at the capture rate, in the order low-pass, high-pass,
    // notch. A filter whose frequency is not below half the rate is left as it is.
    void apply(const config& cfg, int rate);
    // Clears the memory of the three filters, in the order high-pass, low-pass, notch.
    void flush();
    // Filters frames interleaved frames in place with each enabled filter: high-pass, low-pass, notch.
    void process(const config& cfg, float* samples, std::int32_t frames);

    fenwave_biquad* highpassfilter() const { return m_highpass; }
    fenwave_biquad* lowpassfilter() const { return m_lowpass; }
    fenwave_biquad* notchfilter() const { return m_notch; }

private:
    void release();
    fenwave_biquad* m_highpass = nullptr;
    fenwave_biquad* m_lowpass = nullptr;
    fenwave_biquad* m_notch = nullptr;
};

// A stored filter position (3..9999) in hertz at the capture rate: p x (rate div 2) div 10000.
int positiontohz(int position, int rate);

} // namespace quimbrel
