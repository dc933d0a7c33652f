#pragma once

#include <QString>

namespace kinolark::playback {

// What an episode address may be handed to another program as.
enum class ExternalAddress {
    Refused,      // not a media address (file:, javascript:, a bare word...)
    WebMedia,     // http, https: played by the desktop's video application
    Stream,       // rtmp, rtmps, rtsp, mms, mmsh
    PlayerScheme, // the dedicated players' own schemes: bdhd, qvod, ed2k, thunder, magnet
};

// Decided on the address as the play list holds it (leading and trailing
// blanks aside). The dedicated players' addresses are not URLs a parser
// accepts ("bdhd://123|ABC|name.rmvb"), so their scheme alone decides;
// control characters are refused everywhere.
ExternalAddress classifyExternalAddress(const QString &address);

// The scheme of an address in lower case ("bdhd" for "BDHD://..."), or empty
// when it has none.
QString addressScheme(const QString &address);

} // namespace kinolark::playback
