#include "library/episode_records.h"

#include "library/watch_positions.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

namespace kinolark::library {

namespace {

const QLatin1String volumeKey("player_volume");
const QLatin1String mutedKey("player_muted");

QVariant optionalValue(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

std::optional<double> readOptional(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    const double number = value.toDouble();
    return std::isfinite(number) && number > 0 ? std::optional<double>(number) : std::nullopt;
}

} // namespace

EpisodeRecords::EpisodeRecords(const QSqlDatabase &database)
    : m_connection(database.connectionName())
{
}

EpisodeRecords::EpisodeRecords(QString connectionName)
    : m_connection(std::move(connectionName))
{
}

QSqlDatabase EpisodeRecords::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

std::optional<double> EpisodeRecords::resumePosition(qint64 titleId, int line, const QString &address)
{
    if (!database().isOpen())
        return std::nullopt;
    const std::optional<WatchEntry> entry = WatchPositions(database()).entry(titleId, line);
    if (!entry || entry->address != address || !(entry->position > 0))
        return std::nullopt;
    return entry->position;
}

void EpisodeRecords::savePosition(qint64 titleId, int line, const QString &address, double position,
                                  double duration)
{
    if (!database().isOpen())
        return;
    WatchPositions positions(database());
    if (!positions.savePosition(titleId, line, address, position, duration, QDateTime::currentDateTimeUtc()))
        qWarning("kinolark: the watch position was not stored: %s", qPrintable(positions.lastError()));
}

player::TitleSettings EpisodeRecords::settings(qint64 titleId)
{
    player::TitleSettings settings;
    if (!database().isOpen())
        return settings;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select speed, opening_end, ending_before, skip from playback_setting "
                                 "where title_id = ?"));
    query.addBindValue(titleId);
    if (!query.exec() || !query.next())
        return settings;
    if (!query.isNull(0))
        settings.speed = player::nearestRate(query.value(0).toDouble());
    settings.openingEnd = readOptional(query.value(1));
    settings.endingBefore = readOptional(query.value(2));
    settings.skip = query.value(3).toInt() != 0;
    return settings;
}

void EpisodeRecords::saveSettings(qint64 titleId, const player::TitleSettings &settings)
{
    if (!database().isOpen())
        return;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("insert or replace into playback_setting "
                                 "(title_id, speed, opening_end, ending_before, skip) values (?, ?, ?, ?, ?)"));
    query.addBindValue(titleId);
    query.addBindValue(settings.speed);
    query.addBindValue(optionalValue(settings.openingEnd));
    query.addBindValue(optionalValue(settings.endingBefore));
    query.addBindValue(settings.skip ? 1 : 0);
    if (!query.exec())
        qWarning("kinolark: the title's player settings were not stored: %s", qPrintable(query.lastError().text()));
}

player::EpisodeStore::Volume EpisodeRecords::volume()
{
    Volume volume;
    if (!database().isOpen())
        return volume;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select name, value from library_state where name in (?, ?)"));
    query.addBindValue(QString(volumeKey));
    query.addBindValue(QString(mutedKey));
    if (!query.exec())
        return volume;
    while (query.next()) {
        bool ok = false;
        const int value = query.value(1).toInt(&ok);
        if (!ok)
            continue;
        if (query.value(0).toString() == volumeKey)
            volume.level = qBound(0, value, 100);
        else
            volume.muted = value != 0;
    }
    return volume;
}

void EpisodeRecords::saveVolume(const Volume &volume)
{
    if (!database().isOpen())
        return;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("insert or replace into library_state (name, value) values (?, ?), (?, ?)"));
    query.addBindValue(QString(volumeKey));
    query.addBindValue(QString::number(qBound(0, volume.level, 100)));
    query.addBindValue(QString(mutedKey));
    query.addBindValue(QString::number(volume.muted ? 1 : 0));
    if (!query.exec())
        qWarning("kinolark: the volume was not stored: %s", qPrintable(query.lastError().text()));
}

} // namespace kinolark::library
