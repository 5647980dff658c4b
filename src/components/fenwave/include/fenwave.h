/* libfenwave: biquad filters, a real FFT, a streaming rate/channel converter and float-to-integer conversion,
 * as flat C functions over opaque handles. Every function accepts a null handle (or null buffer) and then
 * does nothing, returns null or 0. Any thread may call them; a handle is used by one thread at a time,
 * different handles are independent. No function lets a C++ exception escape. */
#ifndef FENWAVE_H
#define FENWAVE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define FENWAVE_API __attribute__((visibility("default")))
#else
#define FENWAVE_API
#endif

/* Sample codes: 1 = 8-bit unsigned (128 is zero), 2 = 16-bit signed LE, 4 = 24-bit signed LE packed in 3
 * bytes, 16 = 32-bit float. */
enum { FENWAVE_CODE_U8 = 1, FENWAVE_CODE_S16 = 2, FENWAVE_CODE_S24 = 4, FENWAVE_CODE_FLOAT = 16 };

/* Biquad kinds. */
enum { FENWAVE_LOWPASS = 0, FENWAVE_HIGHPASS = 1, FENWAVE_NOTCH = 3 };

/* The output buffer SRC2_process writes into must hold this many bytes. */
#define FENWAVE_SRC2_OUTPUT_BYTES 4194304

typedef struct fenwave_biquad fenwave_biquad;
typedef struct fenwave_fft fenwave_fft;
typedef struct fenwave_src2 fenwave_src2;

/* A filter for `channels` interleaved channels; passes audio through unchanged until Biquad_set.
 * Owned by the caller, released with DeleteBiquad. Null when channels < 1. */
FENWAVE_API fenwave_biquad* NewBiquad(int32_t channels);
/* kind: FENWAVE_LOWPASS, FENWAVE_HIGHPASS or FENWAVE_NOTCH; frequency: corner in Hz divided by the sample
 * rate (0 < f < 0.5; a value at or above Nyquist is held just below it); q: quality (> 0); gain: unused by
 * these kinds. An unknown kind, a frequency or q that is not above zero leave the filter as it was. Keeps the
 * filter memory. */
FENWAVE_API void Biquad_set(fenwave_biquad* filter, int32_t kind, double frequency, double q, double gain);
/* Filters `frames` interleaved frames in place. A NaN or infinite input does not poison later blocks: the
 * memory is cleared at the end of the block it occurred in. */
FENWAVE_API void Biquad_processinterleaved(fenwave_biquad* filter, float* samples, int32_t frames);
/* Clears the filter memory. */
FENWAVE_API void Biquad_flush(fenwave_biquad* filter);
FENWAVE_API int32_t Biquad_getchannels(const fenwave_biquad* filter);
FENWAVE_API void DeleteBiquad(fenwave_biquad* filter);

/* A real forward FFT of `size` samples (a power of two, 2 to 65536); flag is 0. Null on a bad size or flag.
 * The transform is not scaled. */
FENWAVE_API fenwave_fft* NewFFT(int32_t size, int32_t flag);
/* Reads `size` real samples from input and writes bin k (k < size/2) as the pair output[2k] (real),
 * output[2k+1] (imaginary). input and output may be the same buffer of `size` floats. flag is 0; any other
 * flag does nothing. */
FENWAVE_API void FFT_process(fenwave_fft* fft, const float* input, float* output, int32_t flag);
FENWAVE_API void DeleteFFT(fenwave_fft* fft);

/* A streaming converter from interleaved stereo float at inrate to outchannels (1 or 2) float at outrate,
 * rates 8000..192000 Hz. inchannels must be 2 and both codes 16; quality is 1. Null on other arguments. */
FENWAVE_API fenwave_src2* NewSRC2(int32_t inrate, int32_t outrate, int32_t inchannels, int32_t outchannels,
                                  int32_t incode, int32_t outcode, int32_t quality);
/* Converts inbytes of input (whole frames; a trailing partial frame is kept for the next call) and writes the
 * output produced so far to output, which holds FENWAVE_SRC2_OUTPUT_BYTES bytes; *outbytes receives its size
 * (0 when none is ready yet). Output that does not fit stays in the handle and comes first in the next call,
 * so nothing is lost. With a null output or outbytes nothing is consumed. */
FENWAVE_API void SRC2_process(fenwave_src2* converter, const void* input, int32_t inbytes, void* output,
                              int32_t* outbytes);
FENWAVE_API void DeleteSRC2(fenwave_src2* converter);

/* Converts `count` floats to the sample code's format, clipping to +-1.0 and rounding to nearest; writes
 * count x the code's byte width bytes. Integer codes scale by 2^(bits-1): -1.0 gives the lowest code, +1.0
 * the highest; NaN gives silence. Any other code writes nothing. */
FENWAVE_API void convertFromFloat(const float* source, void* destination, int32_t code, int32_t count);

#ifdef __cplusplus
}
#endif

#endif
