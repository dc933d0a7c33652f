#pragma once

#include "player/episode_store.h"

#include <QSqlDatabase>
#include <QString>

namespace kinolark::library {

// What the episode that plays keeps, in the user's tables of the catalogue:
// where each episode was left (watch_position), each title's speed and
// opening and ending (playback_setting) and the volume (library_state).
class EpisodeRecords : public player::EpisodeStore
{
public:
    explicit EpisodeRecords(const QSqlDatabase &database);
    // The catalogue's connection by name: it may open later, and close.
    explicit EpisodeRecords(QString connectionName);

    std::optional<double> resumePosition(qint64 titleId, int line, const QString &address) override;
    void savePosition(qint64 titleId, int line, const QString &address, double position, double duration) override;
    player::TitleSettings settings(qint64 titleId) override;
    void saveSettings(qint64 titleId, const player::TitleSettings &settings) override;
    Volume volume() override;
    void saveVolume(const Volume &volume) override;

private:
    QSqlDatabase database() const;

    QString m_connection; // looked up anew: the window may close the catalogue
};

} // namespace kinolark::library
