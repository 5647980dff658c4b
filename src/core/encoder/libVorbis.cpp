// Binds libogg, libvorbis and libvorbisenc with dlopen and counts their loads.
#include "encoder/libVorbis.h"

#include "ports/MessagePort.h"

#include <vorbis/vorbisenc.h>

#include <dlfcn.h>

namespace quimbrel {

namespace {

struct OggFunctions {
    decltype(&::ogg_stream_init) stream_init = nullptr;
    decltype(&::ogg_stream_clear) stream_clear = nullptr;
    decltype(&::ogg_stream_packetin) stream_packetin = nullptr;
    decltype(&::ogg_stream_pageout) stream_pageout = nullptr;
    decltype(&::ogg_stream_flush) stream_flush = nullptr;
    decltype(&::ogg_page_eos) page_eos = nullptr;
};

struct VorbisFunctions {
    decltype(&::vorbis_info_init) info_init = nullptr;
    decltype(&::vorbis_info_clear) info_clear = nullptr;
    decltype(&::vorbis_comment_init) comment_init = nullptr;
    decltype(&::vorbis_comment_add_tag) comment_add_tag = nullptr;
    decltype(&::vorbis_comment_clear) comment_clear = nullptr;
    decltype(&::vorbis_analysis_init) analysis_init = nullptr;
    decltype(&::vorbis_block_init) block_init = nullptr;
    decltype(&::vorbis_block_clear) block_clear = nullptr;
    decltype(&::vorbis_dsp_clear) dsp_clear = nullptr;
    decltype(&::vorbis_analysis_headerout) analysis_headerout = nullptr;
    decltype(&::vorbis_analysis_buffer) analysis_buffer = nullptr;
    decltype(&::vorbis_analysis_wrote) analysis_wrote = nullptr;
    decltype(&::vorbis_analysis_blockout) analysis_blockout = nullptr;
    decltype(&::vorbis_analysis) analysis = nullptr;
    decltype(&::vorbis_bitrate_addblock) bitrate_addblock = nullptr;
    decltype(&::vorbis_bitrate_flushpacket) bitrate_flushpacket = nullptr;
    // The encoder set-up; vorbis_encode_init is optional, the others are required.
    decltype(&::vorbis_encode_init_vbr) encode_init_vbr = nullptr;
    decltype(&::vorbis_encode_ctl) encode_ctl = nullptr;
    decltype(&::vorbis_encode_setup_init) encode_setup_init = nullptr;
    decltype(&::vorbis_encode_setup_managed) encode_setup_managed = nullptr;
    decltype(&::vorbis_encode_setup_vbr) encode_setup_vbr = nullptr;
    decltype(&::vorbis_encode_init) encode_init = nullptr;
};

struct Library {
    void* handle = nullptr;
    void* enchandle = nullptr;
    int count = 0;
};

Library g_libs[2];
OggFunctions g_ogg;
VorbisFunctions g_vorbis;

template <typename F> bool bind(void* handle, const char* name, F& target) {
    target = reinterpret_cast<F>(dlsym(handle, name));
    return target != nullptr;
}

bool bindogg(void* h) {
    OggFunctions f;
    const bool ok = bind(h, "ogg_stream_init", f.stream_init) &&
                    bind(h, "ogg_stream_clear", f.stream_clear) &&
                    bind(h, "ogg_stream_packetin", f.stream_packetin) &&
                    bind(h, "ogg_stream_pageout", f.stream_pageout) &&
                    bind(h, "ogg_stream_flush", f.stream_flush) && bind(h, "ogg_page_eos", f.page_eos);
    if (ok)
        g_ogg = f;
    return ok;
}

bool bindvorbis(void* h, void* enc) {
    VorbisFunctions f;
    bool ok =
        bind(h, "vorbis_info_init", f.info_init) && bind(h, "vorbis_info_clear", f.info_clear) &&
        bind(h, "vorbis_comment_init", f.comment_init) &&
        bind(h, "vorbis_comment_add_tag", f.comment_add_tag) &&
        bind(h, "vorbis_comment_clear", f.comment_clear) &&
        bind(h, "vorbis_analysis_init", f.analysis_init) && bind(h, "vorbis_block_init", f.block_init) &&
        bind(h, "vorbis_block_clear", f.block_clear) && bind(h, "vorbis_dsp_clear", f.dsp_clear) &&
        bind(h, "vorbis_analysis_headerout", f.analysis_headerout) &&
        bind(h, "vorbis_analysis_buffer", f.analysis_buffer) &&
        bind(h, "vorbis_analysis_wrote", f.analysis_wrote) &&
        bind(h, "vorbis_analysis_blockout", f.analysis_blockout) && bind(h, "vorbis_analysis", f.analysis) &&
        bind(h, "vorbis_bitrate_addblock", f.bitrate_addblock) &&
        bind(h, "vorbis_bitrate_flushpacket", f.bitrate_flushpacket);
    ok = ok && bind(enc, "vorbis_encode_init_vbr", f.encode_init_vbr) &&
         bind(enc, "vorbis_encode_ctl", f.encode_ctl) &&
         bind(enc, "vorbis_encode_setup_init", f.encode_setup_init) &&
         bind(enc, "vorbis_encode_setup_managed", f.encode_setup_managed) &&
         bind(enc, "vorbis_encode_setup_vbr", f.encode_setup_vbr);
    if (ok) {
        bind(enc, "vorbis_encode_init", f.encode_init);
        g_vorbis = f;
    }
    return ok;
}

Library* slot(int library) {
    if (library == kOggLibrary || library == kVorbisLibrary)
        return &g_libs[library - 1];
    return nullptr;
}

bool oggready() {
    return g_libs[0].count > 0;
}
bool vorbisready() {
    return g_libs[1].count > 0;
}

void release(Library& lib) {
    if (lib.enchandle && lib.enchandle != lib.handle)
        dlclose(lib.enchandle);
    if (lib.handle)
        dlclose(lib.handle);
    lib.handle = nullptr;
    lib.enchandle = nullptr;
}

} // namespace

bool loadvorbislib(int library, const std::string& filename, const std::string& encfilename) {
    Library* lib = slot(library);
    if (!lib || lib->count < 0)
        return false;
    if (lib->count > 0) {
        ++lib->count;
        return true;
    }
    lib->count = -1;
    const std::string name = !filename.empty()        ? filename
                             : library == kOggLibrary ? "libogg.so.0"
                                                      : "libvorbis.so.0";
    lib->handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    bool ok = lib->handle != nullptr;
    if (ok && library == kOggLibrary) {
        ok = bindogg(lib->handle);
    } else if (ok) {
        // Debian keeps the encoder set-up in its own file; a libvorbis that carries it is used alone.
        lib->enchandle = dlsym(lib->handle, "vorbis_encode_init_vbr")
                             ? lib->handle
                             : dlopen(encfilename.empty() ? "libvorbisenc.so.2" : encfilename.c_str(),
                                      RTLD_NOW | RTLD_LOCAL);
        ok = lib->enchandle && bindvorbis(lib->handle, lib->enchandle);
    }
    if (!ok) {
        release(*lib);
        lib->count = 0;
        return false;
    }
    lib->count = 1;
    return true;
}

void unloadvorbislib(int library) {
    Library* lib = slot(library);
    if (!lib || lib->count < 1)
        return;
    if (--lib->count == 0) {
        release(*lib);
        if (library == kOggLibrary)
            g_ogg = OggFunctions{};
        else
            g_vorbis = VorbisFunctions{};
    }
}

int vorbislibcount(int library) {
    const Library* lib = slot(library);
    return lib ? lib->count : 0;
}

VorbisLoad loadvorbislibs(MessagePort& messages) {
    return loadvorbislibs(messages, [](int library) { return loadvorbislib(library); });
}

VorbisLoad loadvorbislibs(MessagePort& messages, const std::function<bool(int library)>& load) {
    VorbisLoad loaded;
    bool raised = false;
    for (const int library : {kOggLibrary, kVorbisLibrary}) {
        try {
            (library == kOggLibrary ? loaded.ogg : loaded.vorbis) = load(library);
        } catch (...) {
            raised = true;
        }
    }
    if (raised)
        messages.show("Vorbis DDL Initialization Error", "Quimbrel", MessageIcon::Error, MessageButtons::Ok);
    return loaded;
}

namespace vorbislib {

int ogg_stream_init(ogg_stream_state* os, int serialno) {
    return oggready() ? g_ogg.stream_init(os, serialno) : kLibraryMissing;
}
int ogg_stream_clear(ogg_stream_state* os) {
    return oggready() ? g_ogg.stream_clear(os) : kLibraryMissing;
}
int ogg_stream_packetin(ogg_stream_state* os, ogg_packet* op) {
    return oggready() ? g_ogg.stream_packetin(os, op) : kLibraryMissing;
}
int ogg_stream_pageout(ogg_stream_state* os, ogg_page* og) {
    return oggready() ? g_ogg.stream_pageout(os, og) : kLibraryMissing;
}
int ogg_stream_flush(ogg_stream_state* os, ogg_page* og) {
    return oggready() ? g_ogg.stream_flush(os, og) : kLibraryMissing;
}
int ogg_page_eos(const ogg_page* og) {
    return oggready() ? g_ogg.page_eos(og) : kLibraryMissing;
}

void vorbis_info_init(vorbis_info* vi) {
    if (vorbisready())
        g_vorbis.info_init(vi);
}
void vorbis_info_clear(vorbis_info* vi) {
    if (vorbisready())
        g_vorbis.info_clear(vi);
}
void vorbis_comment_init(vorbis_comment* vc) {
    if (vorbisready())
        g_vorbis.comment_init(vc);
}
void vorbis_comment_add_tag(vorbis_comment* vc, const char* tag, const char* contents) {
    if (vorbisready())
        g_vorbis.comment_add_tag(vc, tag, contents);
}
void vorbis_comment_clear(vorbis_comment* vc) {
    if (vorbisready())
        g_vorbis.comment_clear(vc);
}
int vorbis_analysis_init(vorbis_dsp_state* v, vorbis_info* vi) {
    return vorbisready() ? g_vorbis.analysis_init(v, vi) : kLibraryMissing;
}
int vorbis_block_init(vorbis_dsp_state* v, vorbis_block* vb) {
    return vorbisready() ? g_vorbis.block_init(v, vb) : kLibraryMissing;
}
int vorbis_block_clear(vorbis_block* vb) {
    return vorbisready() ? g_vorbis.block_clear(vb) : kLibraryMissing;
}
void vorbis_dsp_clear(vorbis_dsp_state* v) {
    if (vorbisready())
        g_vorbis.dsp_clear(v);
}
int vorbis_analysis_headerout(vorbis_dsp_state* v, vorbis_comment* vc, ogg_packet* op, ogg_packet* op_comm,
                              ogg_packet* op_code) {
    return vorbisready() ? g_vorbis.analysis_headerout(v, vc, op, op_comm, op_code) : kLibraryMissing;
}
float** vorbis_analysis_buffer(vorbis_dsp_state* v, int vals) {
    return vorbisready() ? g_vorbis.analysis_buffer(v, vals) : nullptr;
}
int vorbis_analysis_wrote(vorbis_dsp_state* v, int vals) {
    return vorbisready() ? g_vorbis.analysis_wrote(v, vals) : kLibraryMissing;
}
int vorbis_analysis_blockout(vorbis_dsp_state* v, vorbis_block* vb) {
    return vorbisready() ? g_vorbis.analysis_blockout(v, vb) : kLibraryMissing;
}
int vorbis_analysis(vorbis_block* vb, ogg_packet* op) {
    return vorbisready() ? g_vorbis.analysis(vb, op) : kLibraryMissing;
}
int vorbis_bitrate_addblock(vorbis_block* vb) {
    return vorbisready() ? g_vorbis.bitrate_addblock(vb) : kLibraryMissing;
}
int vorbis_bitrate_flushpacket(vorbis_dsp_state* vd, ogg_packet* op) {
    return vorbisready() ? g_vorbis.bitrate_flushpacket(vd, op) : kLibraryMissing;
}
int vorbis_encode_init_vbr(vorbis_info* vi, long channels, long rate, float base_quality) {
    return vorbisready() ? g_vorbis.encode_init_vbr(vi, channels, rate, base_quality) : kLibraryMissing;
}

} // namespace vorbislib

} // namespace quimbrel
