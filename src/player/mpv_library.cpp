#include "player/mpv_library.h"

#include <QLibrary>
#include <QtGlobal>

namespace kinolark::player {

bool MpvLibrary::resolve()
{
    // The library whose client API major version this was built against.
    QLibrary library(QStringLiteral("mpv"), int(MPV_CLIENT_API_VERSION >> 16));
    if (!library.load()) {
        qWarning("libmpv cannot be opened: %s", qPrintable(library.errorString()));
        return false;
    }
    bool complete = true;
    const auto bind = [&](auto &function, const char *name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        complete = complete && function;
    };
    bind(create, "mpv_create");
    bind(initialize, "mpv_initialize");
    bind(terminate_destroy, "mpv_terminate_destroy");
    bind(set_option_string, "mpv_set_option_string");
    bind(set_property, "mpv_set_property");
    bind(set_property_string, "mpv_set_property_string");
    bind(free, "mpv_free");
    bind(get_property, "mpv_get_property");
    bind(free_node_contents, "mpv_free_node_contents");
    bind(observe_property, "mpv_observe_property");
    bind(command, "mpv_command");
    bind(request_log_messages, "mpv_request_log_messages");
    bind(wait_event, "mpv_wait_event");
    bind(set_wakeup_callback, "mpv_set_wakeup_callback");
    bind(render_context_create, "mpv_render_context_create");
    bind(render_context_free, "mpv_render_context_free");
    bind(render_context_render, "mpv_render_context_render");
    bind(render_context_update, "mpv_render_context_update");
    bind(render_context_set_update_callback, "mpv_render_context_set_update_callback");
    if (!complete)
        qWarning("libmpv lacks functions this program needs");
    // Never unloaded: its threads may outlive any one player.
    return complete;
}

const MpvLibrary *MpvLibrary::load()
{
    static const MpvLibrary *const loaded = [] {
        static MpvLibrary library;
        return library.resolve() ? &library : nullptr;
    }();
    return loaded;
}

} // namespace kinolark::player
