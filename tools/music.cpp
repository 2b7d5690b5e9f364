// zarn-tool — a module rendered to Ogg Vorbis (see music.h).
//
// libxmp is called directly rather than through the reader's module player:
// the player is a real-time device driver (ticks paced by its output, a
// thread, a lock), while an export wants the whole song as fast as it can be
// mixed, and to stop where libxmp says the song comes round again.
#include "tools/music.h"

#include "tools/archive.h"

#include <vorbis/vorbisenc.h>
#include <xmp.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

enum { RATE = 44100, CHANNELS = 2 };

// A module that never reports its end stops here.
const double longestSong = 60 * 60;

struct OggWriter {
    ogg_stream_state stream;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    std::vector<uint8_t> bytes;
};

void TakePages(OggWriter &w, bool flush)
{
    ogg_page page;
    while (flush ? ogg_stream_flush(&w.stream, &page) : ogg_stream_pageout(&w.stream, &page)) {
        w.bytes.insert(w.bytes.end(), page.header, page.header + page.header_len);
        w.bytes.insert(w.bytes.end(), page.body, page.body + page.body_len);
    }
}

// Hands every finished block to the stream.
void Drain(OggWriter &w)
{
    while (vorbis_analysis_blockout(&w.dsp, &w.block) == 1) {
        vorbis_analysis(&w.block, nullptr);
        vorbis_bitrate_addblock(&w.block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&w.dsp, &packet)) {
            ogg_stream_packetin(&w.stream, &packet);
            TakePages(w, false);
        }
    }
}

bool Start(OggWriter &w, const char *title)
{
    vorbis_info_init(&w.info);
    if (vorbis_encode_init_vbr(&w.info, CHANNELS, RATE, 0.4f) != 0) {
        vorbis_info_clear(&w.info);
        return false;
    }
    vorbis_comment_init(&w.comment);
    if (title[0])
        vorbis_comment_add_tag(&w.comment, "TITLE", title);
    vorbis_analysis_init(&w.dsp, &w.info);
    vorbis_block_init(&w.dsp, &w.block);
    // A fixed serial number: the same module always gives the same file.
    ogg_stream_init(&w.stream, 0x5A41524E);
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&w.dsp, &w.comment, &header, &comments, &codebooks);
    ogg_stream_packetin(&w.stream, &header);
    ogg_stream_packetin(&w.stream, &comments);
    ogg_stream_packetin(&w.stream, &codebooks);
    // Audio starts on a page of its own, as players expect.
    TakePages(w, true);
    return true;
}

void Write(OggWriter &w, const int16_t *frames, int count)
{
    float **buffer = vorbis_analysis_buffer(&w.dsp, count);
    for (int i = 0; i < count; i++) {
        buffer[0][i] = frames[2 * i] / 32768.0f;
        buffer[1][i] = frames[2 * i + 1] / 32768.0f;
    }
    vorbis_analysis_wrote(&w.dsp, count);
    Drain(w);
}

void Finish(OggWriter &w)
{
    vorbis_analysis_wrote(&w.dsp, 0);
    Drain(w);
    TakePages(w, true);
    ogg_stream_clear(&w.stream);
    vorbis_block_clear(&w.block);
    vorbis_dsp_clear(&w.dsp);
    vorbis_comment_clear(&w.comment);
    vorbis_info_clear(&w.info);
}

} // namespace

bool ToolModuleToOgg(const char *module, const char *out, ToolMusicRender *render, std::string *error)
{
    xmp_context context = xmp_create_context();
    if (!context) {
        *error = "out of memory";
        return false;
    }
    if (xmp_load_module(context, module) != 0) {
        xmp_free_context(context);
        *error = std::string(module) + ": not a module libxmp can load";
        return false;
    }
    if (xmp_start_player(context, RATE, 0) != 0) {
        xmp_release_module(context);
        xmp_free_context(context);
        *error = std::string(module) + ": the player would not start";
        return false;
    }
    xmp_module_info moduleInfo;
    xmp_get_module_info(context, &moduleInfo);
    xmp_frame_info frame;
    xmp_get_frame_info(context, &frame);
    render->moduleSeconds = frame.total_time / 1000.0;

    OggWriter writer;
    bool ok = Start(writer, moduleInfo.mod ? moduleInfo.mod->name : "");
    uint64_t frames = 0;
    if (ok) {
        // libxmp plays on forever; the frame that starts the song's second
        // round (loop_count rises) is the end.
        while (xmp_play_frame(context) == 0) {
            xmp_get_frame_info(context, &frame);
            if (frame.loop_count > 0 || frames >= (uint64_t)(longestSong * RATE))
                break;
            int count = frame.buffer_size / (CHANNELS * 2);
            if (count > 0) {
                Write(writer, static_cast<const int16_t *>(frame.buffer), count);
                frames += (uint64_t)count;
            }
        }
        Finish(writer);
    } else {
        *error = "the Vorbis encoder would not start";
    }
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
    render->renderedSeconds = (double)frames / RATE;
    if (ok && !ToolWriteFileAtomically(out, writer.bytes.data(), writer.bytes.size(), error)) {
        *error = std::string(out) + ": " + *error;
        ok = false;
    }
    return ok;
}
