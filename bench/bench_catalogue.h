#pragma once

// The catalogue the browsing, start and memory benchmarks share: 200 000
// titles with Chinese names, half of them in one category, and the side
// tables for suggestions, as the program keeps them.

#include "store/catalogue.h"
#include "store/title_index_builder.h"
#include "text/pinyin_reader.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

namespace kinolark::bench {

constexpr int catalogueTitles = 200000;
constexpr int largestCategory = 8; // 动作片, the first category under 电影

// Builds the catalogue at `path`. With `syncedOn` the catalogue counts as
// synced that day, so a program started on it sends no request.
inline void buildCatalogue(const QString &path, const QString &syncedOn = QString())
{
    static const char16_t pool[] = u"天下第一人生江湖风云之的战争爱情故事海上花开传奇少年英雄大时代光明夜行者"
                                   u"城市猎人龙虎门神探家族秘密青春无敌王子公主春夏秋冬东西南北中国香港台湾";
    store::Catalogue catalogue;
    catalogue.open(path);
    QSqlDatabase db = catalogue.database();
    QRandomGenerator random(42);
    const int others[] = {15, 16, 17, 18, 19, 9, 10, 11, 12, 13, 14, 22, 3, 4};
    const qsizetype poolSize = sizeof(pool) / sizeof(pool[0]) - 1;
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values (?,?,?,?)"));
    for (int id = 1; id <= catalogueTitles; ++id) {
        // Half of all titles in one category, the rest spread over the others.
        const int cid = id % 2 == 0 ? largestCategory : others[random.bounded(14)];
        QString name;
        const int length = 2 + random.bounded(8);
        for (int i = 0; i < length; ++i)
            name += QChar(pool[random.bounded(int(poolSize))]);
        if (random.bounded(5) == 0)
            name += QStringLiteral(" 第%1季").arg(1 + random.bounded(9));
        const QChar letter = QChar(u'a' + random.bounded(26));
        insert.addBindValue(id);
        insert.addBindValue(cid);
        insert.addBindValue(name);
        insert.addBindValue(QString(letter));
        insert.exec();
    }
    if (!syncedOn.isEmpty()) {
        QSqlQuery date(db);
        date.prepare(QStringLiteral("update cdate set up_date=?"));
        date.addBindValue(syncedOn);
        date.exec();
    }
    db.commit();
    const auto pinyin = std::make_shared<text::PinyinReader>(text::PinyinReader::defaultDictionaryPath());
    if (!store::TitleIndexBuilder(path, pinyin).run().ok)
        qFatal("cannot build the side tables of %s", qPrintable(path));
    // One file, no journal beside it, ready to be copied.
    QSqlQuery(db).exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
}

} // namespace kinolark::bench
