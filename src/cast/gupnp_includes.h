#pragma once

// GUPnP, GUPnP-AV and libxml2. GLib's headers name a struct member
// "signals", which Qt defines as a keyword: hide it while they are read.
#pragma push_macro("signals")
#undef signals
#include <libgupnp/gupnp.h>
#include <libgupnp-av/gupnp-av.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#pragma pop_macro("signals")
