// The run-time loader of libogg and libvorbis: the recorder does not link them but binds every entry point it
// uses by name, counts loads, and calls them through wrappers that fail softly while a library is absent: a
// status-returning wrapper then returns -4001, vorbis_analysis_buffer returns no buffer, the others do
// nothing. Loading and unloading happen on the main (UI) thread.
#pragma once

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <functional>
#include <string>

namespace quimbrel {

class MessagePort;

inline constexpr int kOggLibrary = 1;
inline constexpr int kVorbisLibrary = 2;
// What a wrapper of a status-returning function gives while its library is not loaded.
inline constexpr int kLibraryMissing = -4001;

// Loads library 1 (libogg, default "libogg.so.0") or 2 (libvorbis, default "libvorbis.so.0"; its
// encoder-set-up functions are taken from the same file when it has them, else from encfilename, default
// "libvorbisenc.so.2"). The first load binds the entry points; further loads only count. False when the file
// or a required entry point is missing, or while a load is in progress.
bool loadvorbislib(int library, const std::string& filename = {}, const std::string& encfilename = {});
// Counts one load down; the last one releases the files.
void unloadvorbislib(int library);
// The load counter: 0 not loaded, -1 loading, a positive value the loads not yet released.
int vorbislibcount(int library);

// The start-up step: loads libogg, then libvorbis, each with its default name. A false result is not
// reported: while a library is absent the Ogg writer refuses with its own message when it is used. Only an
// error raised while loading shows "Vorbis DDL Initialization Error" (once), and start-up carries on.
struct VorbisLoad {
    bool ogg = false;
    bool vorbis = false;
};
VorbisLoad loadvorbislibs(MessagePort& messages);
// The same through another loader in place of loadvorbislib.
VorbisLoad loadvorbislibs(MessagePort& messages, const std::function<bool(int library)>& load);

// The wrappers, named as the library functions they call. The loader's operations are reachable from here
// too.
namespace vorbislib {
using quimbrel::loadvorbislib;
using quimbrel::unloadvorbislib;
using quimbrel::vorbislibcount;

int ogg_stream_init(ogg_stream_state* os, int serialno);
int ogg_stream_clear(ogg_stream_state* os);
int ogg_stream_packetin(ogg_stream_state* os, ogg_packet* op);
int ogg_stream_pageout(ogg_stream_state* os, ogg_page* og);
int ogg_stream_flush(ogg_stream_state* os, ogg_page* og);
int ogg_page_eos(const ogg_page* og);

void vorbis_info_init(vorbis_info* vi);
void vorbis_info_clear(vorbis_info* vi);
void vorbis_comment_init(vorbis_comment* vc);
void vorbis_comment_add_tag(vorbis_comment* vc, const char* tag, const char* contents);
void vorbis_comment_clear(vorbis_comment* vc);
int vorbis_analysis_init(vorbis_dsp_state* v, vorbis_info* vi);
int vorbis_block_init(vorbis_dsp_state* v, vorbis_block* vb);
int vorbis_block_clear(vorbis_block* vb);
void vorbis_dsp_clear(vorbis_dsp_state* v);
int vorbis_analysis_headerout(vorbis_dsp_state* v, vorbis_comment* vc, ogg_packet* op, ogg_packet* op_comm,
                              ogg_packet* op_code);
float** vorbis_analysis_buffer(vorbis_dsp_state* v, int vals);
int vorbis_analysis_wrote(vorbis_dsp_state* v, int vals);
int vorbis_analysis_blockout(vorbis_dsp_state* v, vorbis_block* vb);
int vorbis_analysis(vorbis_block* vb, ogg_packet* op);
int vorbis_bitrate_addblock(vorbis_block* vb);
int vorbis_bitrate_flushpacket(vorbis_dsp_state* vd, ogg_packet* op);
int vorbis_encode_init_vbr(vorbis_info* vi, long channels, long rate, float base_quality);
} // namespace vorbislib

} // namespace quimbrel
