// Loads libFLAC with dlopen and binds its stream encoder functions by name.
#include "encoder/libFLAC.h"

#include <dlfcn.h>

namespace quimbrel {

namespace {

struct FlacLibrary {
    void* handle = nullptr;
    bool attempted = false;
    FlacFunctions functions;
};

FlacLibrary& library() {
    static FlacLibrary lib;
    return lib;
}

template <typename F> bool bind(void* handle, const char* name, F& target) {
    target = reinterpret_cast<F>(dlsym(handle, name));
    return target != nullptr;
}

} // namespace

bool loadflaclib(const std::string& filename) {
    FlacLibrary& lib = library();
    lib.attempted = true;
    if (lib.handle)
        return true;
    void* handle = dlopen(filename.empty() ? "libFLAC.so.12" : filename.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    FlacFunctions f;
    const bool ok = bind(handle, "FLAC__stream_encoder_new", f.encoder_new) &&
                    bind(handle, "FLAC__stream_encoder_set_verify", f.set_verify) &&
                    bind(handle, "FLAC__stream_encoder_set_streamable_subset", f.set_streamable_subset) &&
                    bind(handle, "FLAC__stream_encoder_set_compression_level", f.set_compression_level) &&
                    bind(handle, "FLAC__stream_encoder_set_channels", f.set_channels) &&
                    bind(handle, "FLAC__stream_encoder_set_bits_per_sample", f.set_bits_per_sample) &&
                    bind(handle, "FLAC__stream_encoder_set_sample_rate", f.set_sample_rate) &&
                    bind(handle, "FLAC__stream_encoder_init_FILE", f.init_FILE) &&
                    bind(handle, "FLAC__stream_encoder_process_interleaved", f.process_interleaved) &&
                    bind(handle, "FLAC__stream_encoder_finish", f.finish) &&
                    bind(handle, "FLAC__stream_encoder_delete", f.encoder_delete);
    if (!ok) {
        dlclose(handle);
        return false;
    }
    lib.handle = handle;
    lib.functions = f;
    return true;
}

void unloadflaclib() {
    FlacLibrary& lib = library();
    if (lib.handle) {
        dlclose(lib.handle);
        lib.handle = nullptr;
        lib.functions = FlacFunctions{};
    }
}

const FlacFunctions* flaclib() {
    FlacLibrary& lib = library();
    if (!lib.attempted)
        loadflaclib();
    return lib.handle ? &lib.functions : nullptr;
}

} // namespace quimbrel
