#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace kinolark::download {

// FFmpeg's functions, opened at the first download instead of at start, as
// the player opens libmpv: the program starts without them. The libraries
// are those of the major versions the headers describe (the ones libmpv
// uses too).
class AvLibrary
{
public:
    // The functions, or nullptr when FFmpeg cannot be opened. Loaded once;
    // safe from any thread.
    static const AvLibrary *load();
    // The functions, for code that only runs after load() succeeded.
    static const AvLibrary &get() { return *load(); }

    // libavformat
    decltype(&::avformat_network_init) network_init = nullptr;
    decltype(&::avformat_alloc_context) alloc_context = nullptr;
    decltype(&::avformat_open_input) open_input = nullptr;
    decltype(&::avformat_find_stream_info) find_stream_info = nullptr;
    decltype(&::avformat_close_input) close_input = nullptr;
    decltype(&::avformat_alloc_output_context2) alloc_output_context2 = nullptr;
    decltype(&::avformat_new_stream) new_stream = nullptr;
    decltype(&::avformat_write_header) write_header = nullptr;
    decltype(&::avformat_free_context) free_context = nullptr;
    decltype(&::av_find_input_format) find_input_format = nullptr;
    decltype(&::av_read_frame) read_frame = nullptr;
    decltype(&::av_interleaved_write_frame) interleaved_write_frame = nullptr;
    decltype(&::av_write_trailer) write_trailer = nullptr;
    decltype(&::avio_open2) avio_open2 = nullptr;
    decltype(&::avio_closep) avio_closep = nullptr;
    decltype(&::avio_read) avio_read = nullptr;
    decltype(&::avio_seek) avio_seek = nullptr;
    decltype(&::avio_size) avio_size = nullptr;
    decltype(&::avio_flush) avio_flush = nullptr;
    decltype(&::avio_alloc_context) avio_alloc_context = nullptr;
    decltype(&::avio_context_free) avio_context_free = nullptr;
    // libavcodec
    decltype(&::avcodec_parameters_copy) parameters_copy = nullptr;
    decltype(&::av_packet_alloc) packet_alloc = nullptr;
    decltype(&::av_packet_free) packet_free = nullptr;
    decltype(&::av_packet_unref) packet_unref = nullptr;
    decltype(&::av_packet_rescale_ts) packet_rescale_ts = nullptr;
    decltype(&::av_bsf_get_by_name) bsf_get_by_name = nullptr;
    decltype(&::av_bsf_alloc) bsf_alloc = nullptr;
    decltype(&::av_bsf_init) bsf_init = nullptr;
    decltype(&::av_bsf_send_packet) bsf_send_packet = nullptr;
    decltype(&::av_bsf_receive_packet) bsf_receive_packet = nullptr;
    decltype(&::av_bsf_free) bsf_free = nullptr;
    // libavutil
    decltype(&::av_dict_set) dict_set = nullptr;
    decltype(&::av_dict_get) dict_get = nullptr;
    decltype(&::av_dict_free) dict_free = nullptr;
    decltype(&::av_strerror) strerror = nullptr;
    decltype(&::av_malloc) malloc = nullptr;
    decltype(&::av_free) free = nullptr;
    decltype(&::av_freep) freep = nullptr;
    decltype(&::av_rescale_q) rescale_q = nullptr;
    decltype(&::av_opt_get) opt_get = nullptr;
    decltype(&::av_log_get_level) log_get_level = nullptr;
    decltype(&::av_log_set_level) log_set_level = nullptr;

private:
    AvLibrary() = default;
    bool resolve();
};

} // namespace kinolark::download
