#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kinolark::player {

// Why an episode could not be played, as the user is told.
enum class Failure {
    None,
    Network,     // the connection failed or timed out
    NotFound,    // the server has nothing at that address
    Format,      // what came back is no media the player knows
    Interrupted, // the stream broke off before its end
    NoPlayer,    // the player itself could not start
};

// "12:34", or "1:02:03" from an hour on; unknown times read "--:--".
QString clockText(double seconds);

// Where the next play of an episode should start, given where playing
// stopped: a position well inside the episode, or 0 (the beginning) near
// either end.
double positionToKeep(double position, double duration);
constexpr double resumeMargin = 30.0; // seconds at either end that are not kept

// The scheme of a play address ("http" for "http://..."), lower case; empty
// when it has none.
QString addressScheme(const QString &address);

// The schemes of the streams the built-in player plays.
const QStringList &streamingSchemes();
// The protocols a stream may reach further addresses by (a playlist's
// segments, a key), for FFmpeg's protocol whitelist.
const char *nestedProtocols();

// Whether the player can open `address`: its scheme is a streaming one
// that is among the player's `protocols`.
bool canOpen(const QString &address, const QStringList &protocols);

// The failure behind a file that could not be played, from the player's
// error code and the warnings it logged while trying.
Failure classifyFailure(int mpvError, const QStringList &log);

// Short Chinese texts for the user.
QString failureText(Failure failure);

} // namespace kinolark::player
