#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace kinolark::download {

// An HLS playlist as a site sent it, checked before FFmpeg reads a line of
// it. Every address in it (segments, keys, init sections, other
// playlists) must be http or https; a playlist naming anything else (file:,
// data:, concat:, subfile: ...) is refused whole, for FFmpeg would skip such
// a segment and call the rest a whole stream, and some of them crash it.
// What FFmpeg then reads is the text here, with every address made
// absolute, so it cannot resolve one differently, and the site cannot send
// it something other than what was checked.
class HlsPlaylist
{
public:
    // Whether the first bytes of an answer are a playlist's.
    static bool looksLikePlaylist(const QByteArray &start);
    // An address of a playlist, resolved against `base`; empty when it is
    // not http or https.
    static std::optional<QUrl> resolve(const QString &address, const QUrl &base);
    // The same address the way it is compared: FFmpeg's spelling of it may
    // differ in escapes.
    static QString normalized(const QString &address);

    // Checks `text`, fetched from `address` (after any redirect).
    static HlsPlaylist parse(const QByteArray &text, const QUrl &address);

    bool ok() const { return m_refused.isEmpty() && m_error.isEmpty(); }
    // The address that made it refused, as written; empty when it was not.
    QString refused() const { return m_refused; }
    // What else is wrong with it (not a playlist, a playlist inside a
    // variant ...); empty when nothing is.
    QString error() const { return m_error; }

    bool isMaster() const { return m_master; }
    bool ended() const { return m_ended; }            // #EXT-X-ENDLIST: nothing more will be added
    bool encrypted() const { return !m_keys.isEmpty(); }
    double duration() const { return m_duration; }    // the sum of its segments, seconds
    const QList<QUrl> &playlists() const { return m_playlists; } // variants and renditions
    const QList<QUrl> &keys() const { return m_keys; }
    const QList<QUrl> &media() const { return m_media; }         // segments and init sections
    // The text FFmpeg reads.
    const QByteArray &text() const { return m_text; }

private:
    QString absolute(const QString &address);
    QByteArray rewriteTag(const QString &line);

    QUrl m_base;
    QString m_refused;
    QString m_error;
    bool m_master = false;
    bool m_ended = false;
    double m_duration = 0;
    QList<QUrl> m_playlists;
    QList<QUrl> m_keys;
    QList<QUrl> m_media;
    QByteArray m_text;
};

} // namespace kinolark::download
