#include "download/av_library.h"

#include <QLibrary>
#include <QtGlobal>

#include <type_traits>

namespace kinolark::download {

bool AvLibrary::resolve()
{
    // Never unloaded: libmpv may use the same libraries, and their network
    // state outlives any one download.
    QLibrary util(QStringLiteral("avutil"), LIBAVUTIL_VERSION_MAJOR);
    QLibrary codec(QStringLiteral("avcodec"), LIBAVCODEC_VERSION_MAJOR);
    QLibrary format(QStringLiteral("avformat"), LIBAVFORMAT_VERSION_MAJOR);
    for (QLibrary *library : {&util, &codec, &format}) {
        if (!library->load()) {
            qWarning("FFmpeg cannot be opened: %s", qPrintable(library->errorString()));
            return false;
        }
    }
    bool complete = true;
    const auto bind = [&](QLibrary &library, auto &function, const char *name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        if (!function)
            qWarning("FFmpeg lacks %s", name);
        complete = complete && function;
    };
    bind(format, network_init, "avformat_network_init");
    bind(format, alloc_context, "avformat_alloc_context");
    bind(format, open_input, "avformat_open_input");
    bind(format, find_stream_info, "avformat_find_stream_info");
    bind(format, close_input, "avformat_close_input");
    bind(format, alloc_output_context2, "avformat_alloc_output_context2");
    bind(format, new_stream, "avformat_new_stream");
    bind(format, write_header, "avformat_write_header");
    bind(format, free_context, "avformat_free_context");
    bind(format, find_input_format, "av_find_input_format");
    bind(format, read_frame, "av_read_frame");
    bind(format, interleaved_write_frame, "av_interleaved_write_frame");
    bind(format, write_trailer, "av_write_trailer");
    bind(format, avio_open2, "avio_open2");
    bind(format, avio_closep, "avio_closep");
    bind(format, avio_read, "avio_read");
    bind(format, avio_seek, "avio_seek");
    bind(format, avio_size, "avio_size");
    bind(format, avio_flush, "avio_flush");
    bind(format, avio_alloc_context, "avio_alloc_context");
    bind(format, avio_context_free, "avio_context_free");
    bind(codec, parameters_copy, "avcodec_parameters_copy");
    bind(codec, packet_alloc, "av_packet_alloc");
    bind(codec, packet_free, "av_packet_free");
    bind(codec, packet_unref, "av_packet_unref");
    bind(codec, packet_rescale_ts, "av_packet_rescale_ts");
    bind(codec, bsf_get_by_name, "av_bsf_get_by_name");
    bind(codec, bsf_alloc, "av_bsf_alloc");
    bind(codec, bsf_init, "av_bsf_init");
    bind(codec, bsf_send_packet, "av_bsf_send_packet");
    bind(codec, bsf_receive_packet, "av_bsf_receive_packet");
    bind(codec, bsf_free, "av_bsf_free");
    bind(util, dict_set, "av_dict_set");
    bind(util, dict_get, "av_dict_get");
    bind(util, dict_free, "av_dict_free");
    bind(util, strerror, "av_strerror");
    bind(util, malloc, "av_malloc");
    bind(util, free, "av_free");
    bind(util, freep, "av_freep");
    bind(util, rescale_q, "av_rescale_q");
    bind(util, opt_get, "av_opt_get");
    bind(util, log_get_level, "av_log_get_level");
    bind(util, log_set_level, "av_log_set_level");
    if (!complete)
        return false;
    network_init();
    // FFmpeg's own lines about every segment would flood the terminal; the
    // download says what went wrong itself. libmpv logs through a callback
    // of its own, which this level does not touch.
    if (log_get_level() == AV_LOG_INFO)
        log_set_level(AV_LOG_ERROR);
    return true;
}

const AvLibrary *AvLibrary::load()
{
    static const AvLibrary *const loaded = [] {
        static AvLibrary library;
        return library.resolve() ? &library : nullptr;
    }();
    return loaded;
}

} // namespace kinolark::download
