// The three biquad filters of the block chain over libfenwave.
#include "recording/FilterBank.h"

#include "state/config.h"

#include <fenwave.h>

namespace quimbrel {

int positiontohz(int position, int rate) {
    return static_cast<int>(static_cast<long long>(position) * (rate / 2) / 10000);
}

FilterBank::FilterBank(int channels) {
    m_highpass = NewBiquad(channels);
    m_lowpass = NewBiquad(channels);
    m_notch = NewBiquad(channels);
}

FilterBank::~FilterBank() {
    release();
}

void FilterBank::release() {
    DeleteBiquad(m_highpass);
    DeleteBiquad(m_lowpass);
    DeleteBiquad(m_notch);
    m_highpass = m_lowpass = m_notch = nullptr;
}

int FilterBank::channels() const {
    return Biquad_getchannels(m_highpass);
}

bool FilterBank::ensureChannels(int channels) {
    if (Biquad_getchannels(m_highpass) == channels)
        return false;
    release();
    m_highpass = NewBiquad(channels);
    m_lowpass = NewBiquad(channels);
    m_notch = NewBiquad(channels);
    return true;
}

void FilterBank::apply(const config& cfg, int rate) {
    if (rate <= 0)
        return;
    auto set = [rate](fenwave_biquad* filter, int kind, int position, double q) {
        const double f = static_cast<double>(positiontohz(position, rate)) / rate;
        if (f > 0.0 && f < 0.5)
            Biquad_set(filter, kind, f, q, 0.0);
    };
    set(m_lowpass, FENWAVE_LOWPASS, cfg.lowpass.frequency, 0.71);
    set(m_highpass, FENWAVE_HIGHPASS, cfg.highpass.frequency, 0.71);
    set(m_notch, FENWAVE_NOTCH, cfg.notch.frequency, 10.0);
}

void FilterBank::flush() {
    Biquad_flush(m_highpass);
    Biquad_flush(m_lowpass);
    Biquad_flush(m_notch);
}

void FilterBank::process(const config& cfg, float* samples, std::int32_t frames) {
    if (frames <= 0)
        return;
    if (cfg.highpass.enabled)
        Biquad_processinterleaved(m_highpass, samples, frames);
    if (cfg.lowpass.enabled)
        Biquad_processinterleaved(m_lowpass, samples, frames);
    if (cfg.notch.enabled)
        Biquad_processinterleaved(m_notch, samples, frames);
}

} // namespace quimbrel
