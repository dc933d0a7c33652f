#pragma once

#include <QString>

namespace kinolark::cast {

// Whether a TV can be handed this play address: http and https only; the
// TV fetches it itself, so a local file or a dedicated player's scheme
// (bdhd:, qvod:, rtmp: ...) means nothing to it.
bool isCastable(const QString &address);

// The media type guessed from the address's path: "video/mp4",
// "application/vnd.apple.mpegurl" for HLS, "*" where unknown.
QString mimeTypeFor(const QString &address);

// The DIDL-Lite res protocolInfo for the address, e.g. "http-get:*:video/mp4:*".
QString protocolInfoFor(const QString &address);

// SetAVTransportURI's metadata: one video item titled `title` with one
// resource at `address`.
QString didlLiteFor(const QString &title, const QString &address);

} // namespace kinolark::cast
