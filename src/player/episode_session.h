#pragma once

#include "player/episode_store.h"
#include "player/playback_target.h"
#include "player/title_settings.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <optional>

namespace kinolark::player {

// The episode that plays, wherever it plays: the title and its play list,
// which line plays, where it starts (the point it was left at, or past the
// opening), how fast, when it counts as ended (at its end, or where the
// ending starts), which line comes next or before, and what is kept of it.
// The window maps its list items to lines and shows what this says; the
// media keys, the screen saver and the control bar all go through here.
class EpisodeSession : public QObject
{
    Q_OBJECT
public:
    EpisodeSession(EpisodeStore &store, PlaybackTarget *target, QObject *parent = nullptr);

    // Where episodes play from now on; what plays stops.
    void setTarget(PlaybackTarget *target);
    // Lets go of what plays without stopping it (a TV goes on when the
    // window closes); where it is counts as where it stopped.
    void leave();
    PlaybackTarget *target() const { return m_target; }

    // The title whose episodes may play: its play addresses by line, and
    // each line's episode name (empty where a line has no episode).
    void setTitle(qint64 titleId, const QString &name, const QVector<QString> &addresses,
                  const QVector<QString> &episodeNames);
    qint64 titleId() const { return m_titleId; }
    QString titleName() const { return m_titleName; }

    // Plays the title's line `line`, whose address must be `address`; from
    // `localCopy` when one is given (a download of it), else from the site.
    bool play(int line, const QString &address, const QString &localCopy = QString());
    // What the target plays: the address, or the local copy.
    QString playing() const { return m_playing; }
    // Stops; what played is kept.
    void stop();
    bool active() const { return m_line >= 0; }
    int line() const { return m_line; }
    QString address() const { return m_address; }
    QString episodeName(int line) const;
    // The next or previous line that yields an episode.
    std::optional<int> nextLine() const;
    std::optional<int> previousLine() const;
    // Asks the window to play the next or previous episode, as if clicked.
    bool requestNext();
    bool requestPrevious();

    // What the user does; seeks made here are the user's own.
    void togglePause();
    void seekBy(double seconds);
    void seekTo(double seconds);
    // From the very beginning, the opening included.
    void restart();
    void setVolume(int volume);
    void setMuted(bool muted);

    double rate() const { return m_settings.speed; }
    void setRate(double rate); // snapped to an offered speed
    void stepRate(int steps);

    TitleSettings settings() const { return m_settings; }
    // Each answers a short note when a setting had to give way.
    QString markOpeningEnd();
    QString markEndingStart();
    void clearSkip();
    void setSkipEnabled(bool on);

signals:
    // An episode starts at `start` seconds; `resumed` when that is where
    // it was left.
    void started(double start, bool resumed);
    void openingSkipped();
    // The episode counts as ended; `next` is the line that comes next.
    void ended(std::optional<int> next);
    // The window should play `line` as if the user had clicked it.
    void lineRequested(int line);
    void rateChanged(double rate);
    void settingsChanged();
    // A jump: the user's seek, a skip, a resume.
    void seeked(double position);
    void episodeChanged();
    void targetChanged();

private:
    void attach();
    void positionMoved(double position);
    void durationKnown(double duration);
    void targetStopped(const PlaybackTarget::Stop &stop);
    void saveSettings();
    void reachEnding();
    void userSeek(double to);

    EpisodeStore &m_store;
    QPointer<PlaybackTarget> m_target;
    QList<QMetaObject::Connection> m_connections;

    qint64 m_titleId = -1;
    QString m_titleName;
    QVector<QString> m_addresses;
    QVector<QString> m_names;
    TitleSettings m_settings;

    int m_line = -1;
    QString m_address;
    QString m_playing;
    bool m_openingPending = false; // the opening is skipped once the length is known
    bool m_inEnding = false;       // the user went into the ending: it plays
    bool m_endingReached = false;  // counted as ended where the ending starts
    EpisodeStore::Volume m_volume;
    bool m_volumeRead = false;
};

} // namespace kinolark::player
