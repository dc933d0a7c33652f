#include "library/watch_history.h"

#include "playback/play_list.h"

#include <QSqlQuery>
#include <QVariant>

namespace kinolark::library {

WatchHistory::WatchHistory(const QSqlDatabase &database, int limit)
    : m_connection(database.connectionName())
    , m_positions(database)
    , m_limit(limit)
{
}

QSqlDatabase WatchHistory::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

browse::TitleStatement WatchHistory::listStatement()
{
    m_positions.ready();
    // In the order of WatchPositions::recentTitles.
    return {QStringLiteral("select w.title_id, v.vod_name from watch_position w "
                           "join vod v on v.vod_id = w.title_id "
                           "group by w.title_id order by max(w.watched_at) desc, w.title_id desc limit ?"),
            {m_limit}};
}

int WatchHistory::count()
{
    if (!m_positions.ready())
        return 0;
    QSqlQuery query(database());
    const bool ok = query.exec(QStringLiteral("select count(distinct w.title_id) from watch_position w "
                                              "join vod v on v.vod_id = w.title_id"))
                    && query.next();
    return ok ? qMin(query.value(0).toInt(), m_limit) : 0;
}

QHash<qint64, QString> WatchHistory::notes()
{
    QHash<qint64, QString> notes;
    if (!m_positions.ready())
        return notes;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select d_playurl from vodplay where d_id = ?"));
    for (const WatchEntry &entry : m_positions.recentTitles(m_limit)) {
        QString name;
        query.addBindValue(entry.titleId);
        if (query.exec() && query.next()) {
            const playback::PlayList list = playback::PlayList::parse(query.value(0).toString());
            for (const playback::Episode &episode : list.episodes()) {
                if (episode.line == entry.line) {
                    name = episode.name.trimmed();
                    break;
                }
            }
        }
        query.finish();
        notes.insert(entry.titleId, note(entry, name));
    }
    return notes;
}

QString WatchHistory::note(const WatchEntry &entry, const QString &episodeName)
{
    QStringList parts;
    if (!episodeName.isEmpty())
        parts << episodeName;
    if (entry.position >= 1)
        parts << clockText(entry.position);
    if (parts.isEmpty())
        return QStringLiteral("看过");
    return QStringLiteral("看到 ") + parts.join(QLatin1Char(' '));
}

QString WatchHistory::clockText(double seconds)
{
    const qint64 whole = qint64(qMax(0.0, seconds));
    const qint64 hours = whole / 3600;
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg(whole / 60 % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                                       .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}

} // namespace kinolark::library
