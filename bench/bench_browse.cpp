// Lists the largest category and searches for a common character in a
// 200 000-title catalogue, and times the sqlite3 shell running the same
// statements on the same file in the same run.

#include "browse/title_lister.h"
#include "browse/title_list_model.h"
#include "store/catalogue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kinolark;

namespace {

constexpr int titleCount = 200000;
constexpr int largestCategory = 8;
constexpr int runs = 7;

const char16_t pool[] = u"天下第一人生江湖风云之的战争爱情故事海上花开传奇少年英雄大时代光明夜行者"
                        u"城市猎人龙虎门神探家族秘密青春无敌王子公主春夏秋冬东西南北中国香港台湾";

void buildCatalogue(const QString &path)
{
    store::Catalogue catalogue;
    catalogue.open(path);
    QSqlDatabase db = catalogue.database();
    QRandomGenerator random(42);
    const int others[] = {15, 16, 17, 18, 19, 9, 10, 11, 12, 13, 14, 22, 3, 4};
    const qsizetype poolSize = sizeof(pool) / sizeof(pool[0]) - 1;
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values (?,?,?,?)"));
    for (int id = 1; id <= titleCount; ++id) {
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
    db.commit();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The shell's own timer for one statement, output discarded.
double shellMs(const QString &file, const QString &statement)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {file});
    shell.write(QStringLiteral(".output /dev/null\n.timer on\n%1;\n").arg(statement).toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const QString out = QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
    const auto match = QRegularExpression(QStringLiteral("Run Time: real ([0-9.]+)")).match(out);
    return match.hasMatch() ? match.captured(1).toDouble() * 1000.0 : -1.0;
}

struct Line
{
    const char *what;
    qsizetype rows;
    double statementMs, modelMs, viewMs, oursMs, anchorMs;
};

Line measure(const char *what, store::Catalogue &catalogue, const browse::TitleStatement &statement,
             const QString &shellStatement, QListView &view, browse::TitleListModel &model)
{
    std::vector<double> statementTimes, modelTimes, viewTimes, totals, anchors;
    qsizetype rows = 0;
    for (int run = 0; run < runs; ++run) {
        model.clear();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        browse::TitleListing listing = browse::listTitles(catalogue.database(), statement);
        const double afterStatement = timer.nsecsElapsed() / 1e6;
        rows = listing.titles.size();
        model.setTitles(std::move(listing.titles));
        const double afterModel = timer.nsecsElapsed() / 1e6;
        view.doItemsLayout(); // what the view would do on its next turn of the event loop
        view.viewport()->repaint();
        const double afterView = timer.nsecsElapsed() / 1e6;
        statementTimes.push_back(afterStatement);
        modelTimes.push_back(afterModel - afterStatement);
        viewTimes.push_back(afterView - afterModel);
        totals.push_back(afterView);
        anchors.push_back(shellMs(catalogue.fileName(), shellStatement));
    }
    return {what, rows, median(statementTimes), median(modelTimes), median(viewTimes), median(totals), median(anchors)};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data.db"));
    std::printf("Building a catalogue of %d titles...\n", titleCount);
    buildCatalogue(file);

    store::Catalogue catalogue;
    catalogue.open(file);
    browse::TitleListModel model;
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.resize(177, 553);
    view.show();

    const QString common = QStringLiteral("的");
    const Line lines[] = {
        measure("list largest category", catalogue, browse::TitleStatement::category(largestCategory),
                QStringLiteral("select vod_id,vod_name from vod where vod_cid=%1").arg(largestCategory), view, model),
        measure("search one common character", catalogue, browse::TitleStatement::search(common),
                QStringLiteral("select vod_id,vod_name from vod where vod_name like '%%1%'").arg(common), view, model),
    };

    std::printf("\n%-30s %8s %10s %10s %10s %10s %12s %7s %8s\n", "figure", "rows", "stmt ms", "model ms",
                "view ms", "ours ms", "sqlite3 ms", "ratio", "target");
    const double targets[] = {2.0, 1.5};
    int i = 0;
    for (const Line &line : lines) {
        std::printf("%-30s %8lld %10.1f %10.1f %10.1f %10.1f %12.1f %7.2f %8s\n", line.what,
                    static_cast<long long>(line.rows), line.statementMs, line.modelMs, line.viewMs, line.oursMs,
                    line.anchorMs, line.oursMs / line.anchorMs, i == 0 ? "<= 2.0" : "<= 1.5");
        ++i;
    }
    Q_UNUSED(targets);
    std::printf("(medians of %d runs; the sqlite3 shell's own timer, output to /dev/null)\n", runs);
    return 0;
}
