// Lists the largest category and searches for a common character in a
// 200 000-title catalogue, and times the sqlite3 shell running the same
// statements on the same file in the same run.

#include "bench_catalogue.h"
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

constexpr int runs = 7;

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
    std::printf("Building a catalogue of %d titles...\n", bench::catalogueTitles);
    bench::buildCatalogue(file);

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
        measure("list largest category", catalogue, browse::TitleStatement::category(bench::largestCategory),
                QStringLiteral("select vod_id,vod_name from vod where vod_cid=%1").arg(bench::largestCategory), view, model),
        measure("search one common character", catalogue, browse::TitleStatement::search(common),
                QStringLiteral("select vod_id,vod_name from vod where vod_name like '%%1%'").arg(common), view, model),
    };

    std::printf("\n%-30s %8s %10s %10s %10s %10s %12s %7s %8s\n", "figure", "rows", "stmt ms", "model ms",
                "view ms", "ours ms", "sqlite3 ms", "ratio", "target");
    const double targets[] = {2.0, 1.5};
    for (int i = 0; i < 2; ++i) {
        const Line &line = lines[i];
        std::printf("%-30s %8lld %10.1f %10.1f %10.1f %10.1f %12.1f %7.2f %5s%.1f\n", line.what,
                    static_cast<long long>(line.rows), line.statementMs, line.modelMs, line.viewMs, line.oursMs,
                    line.anchorMs, line.oursMs / line.anchorMs, "<= ", targets[i]);
    }
    std::printf("(medians of %d runs; the sqlite3 shell's own timer, output to /dev/null)\n", runs);
    for (int i = 0; i < 2; ++i) {
        const Line &line = lines[i];
        const double ratio = line.oursMs / line.anchorMs;
        std::printf("@row\t%s\t%.1f ms\t%.1f ms\t%.2fx\t<= %.1fx\t%s\n",
                    i == 0 ? "listing 100k titles" : "search over 200k titles", line.oursMs, line.anchorMs, ratio,
                    targets[i], ratio <= targets[i] ? "yes" : "NO");
    }
    std::printf("@note\tlisting and search: statement, model and view drawn, against the sqlite3 shell's own timer "
                "for the same statement on the same file\n");
    return 0;
}
