#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

namespace kinolark::player {

// libmpv's functions, opened on first use instead of at start: libmpv
// brings some 170 libraries of its own, and loading them with the program
// would more than double the time to the first window.
class MpvLibrary
{
public:
    // The functions, or nullptr when libmpv cannot be opened. Loaded once;
    // safe from any thread.
    static const MpvLibrary *load();
    // The functions, for code that only runs once a player has started.
    static const MpvLibrary &get() { return *load(); }

    decltype(&::mpv_create) create = nullptr;
    decltype(&::mpv_initialize) initialize = nullptr;
    decltype(&::mpv_terminate_destroy) terminate_destroy = nullptr;
    decltype(&::mpv_set_option_string) set_option_string = nullptr;
    decltype(&::mpv_set_property) set_property = nullptr;
    decltype(&::mpv_set_property_string) set_property_string = nullptr;
    decltype(&::mpv_get_property) get_property = nullptr;
    decltype(&::mpv_free_node_contents) free_node_contents = nullptr;
    decltype(&::mpv_free) free = nullptr;
    decltype(&::mpv_observe_property) observe_property = nullptr;
    decltype(&::mpv_command) command = nullptr;
    decltype(&::mpv_request_log_messages) request_log_messages = nullptr;
    decltype(&::mpv_wait_event) wait_event = nullptr;
    decltype(&::mpv_set_wakeup_callback) set_wakeup_callback = nullptr;
    decltype(&::mpv_render_context_create) render_context_create = nullptr;
    decltype(&::mpv_render_context_free) render_context_free = nullptr;
    decltype(&::mpv_render_context_render) render_context_render = nullptr;
    decltype(&::mpv_render_context_update) render_context_update = nullptr;
    decltype(&::mpv_render_context_set_update_callback) render_context_set_update_callback = nullptr;

private:
    MpvLibrary() = default;
    bool resolve();
};

} // namespace kinolark::player
