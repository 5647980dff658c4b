// The C functions of fenwave.h: argument checks, handle ownership, and no exception ever crossing into C
// (what can throw is caught here; the rest is noexcept).
#include "fenwave.h"

#include "Biquad.h"
#include "Convert.h"
#include "Fft.h"
#include "Src2.h"

#include <cstddef>
#include <memory>
#include <new>

struct fenwave_biquad {
    explicit fenwave_biquad(int channels) : filter(channels) {}
    quimbrel::fenwave::Biquad filter;
};

struct fenwave_fft {
    explicit fenwave_fft(std::size_t size) : fft(size) {}
    quimbrel::fenwave::Fft fft;
};

struct fenwave_src2 {
    std::unique_ptr<quimbrel::fenwave::Src2> converter;
};

extern "C" {

fenwave_biquad* NewBiquad(int32_t channels) {
    if (channels < 1) {
        return nullptr;
    }
    try {
        return new fenwave_biquad(channels);
    } catch (...) {
        return nullptr;
    }
}

void Biquad_set(fenwave_biquad* filter, int32_t kind, double frequency, double q, double /*gain*/) {
    if (filter == nullptr) {
        return;
    }
    filter->filter.configure(kind, frequency, q);
}

void Biquad_processinterleaved(fenwave_biquad* filter, float* samples, int32_t frames) {
    if (filter == nullptr || samples == nullptr || frames <= 0) {
        return;
    }
    filter->filter.process(samples, static_cast<std::size_t>(frames));
}

void Biquad_flush(fenwave_biquad* filter) {
    if (filter != nullptr) {
        filter->filter.flush();
    }
}

int32_t Biquad_getchannels(const fenwave_biquad* filter) {
    return filter == nullptr ? 0 : filter->filter.channels();
}

void DeleteBiquad(fenwave_biquad* filter) {
    delete filter;
}

fenwave_fft* NewFFT(int32_t size, int32_t flag) {
    if (flag != 0 || !quimbrel::fenwave::Fft::validSize(size)) {
        return nullptr;
    }
    try {
        return new fenwave_fft(static_cast<std::size_t>(size));
    } catch (...) {
        return nullptr;
    }
}

void FFT_process(fenwave_fft* fft, const float* input, float* output, int32_t flag) {
    if (fft == nullptr || input == nullptr || output == nullptr || flag != 0) {
        return;
    }
    fft->fft.process(input, output);
}

void DeleteFFT(fenwave_fft* fft) {
    delete fft;
}

fenwave_src2* NewSRC2(int32_t inrate, int32_t outrate, int32_t inchannels, int32_t outchannels,
                      int32_t incode, int32_t outcode, int32_t quality) {
    if (inchannels != 2 || incode != FENWAVE_CODE_FLOAT || outcode != FENWAVE_CODE_FLOAT || quality != 1) {
        return nullptr;
    }
    try {
        auto converter = quimbrel::fenwave::Src2::create(inrate, outrate, outchannels);
        if (!converter) {
            return nullptr;
        }
        return new fenwave_src2{std::move(converter)};
    } catch (...) {
        return nullptr;
    }
}

void SRC2_process(fenwave_src2* converter, const void* input, int32_t inbytes, void* output,
                  int32_t* outbytes) {
    if (outbytes != nullptr) {
        *outbytes = 0;
    }
    if (converter == nullptr || output == nullptr || outbytes == nullptr) {
        return;
    }
    try {
        const std::size_t size = inbytes > 0 ? static_cast<std::size_t>(inbytes) : 0;
        *outbytes = static_cast<int32_t>(
            converter->converter->process(input, size, output, FENWAVE_SRC2_OUTPUT_BYTES));
    } catch (...) {
        *outbytes = 0;
    }
}

void DeleteSRC2(fenwave_src2* converter) {
    delete converter;
}

void convertFromFloat(const float* source, void* destination, int32_t code, int32_t count) {
    if (source == nullptr || destination == nullptr || count <= 0) {
        return;
    }
    quimbrel::fenwave::convertSamples(source, destination, code, static_cast<std::size_t>(count));
}

} // extern "C"
