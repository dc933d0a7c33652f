// The first sync of a large catalogue: a 200k-title "Lx=All" answer parsed
// and stored into a fresh catalogue file, against the sqlite3 shell importing
// the same rows into the same schema in one transaction.

#include "sample_catalogue.h"
#include "site/catalogue_answer.h"
#include "site/catalogue_writer.h"
#include "store/catalogue.h"
#include "store/statements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kinolark;

namespace {

constexpr int titleCount = 200000;
constexpr int runs = 3;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Ours
{
    double parseMs = 0;
    double storeMs = 0;
    int inserted = 0;
};

Ours runOurs(const QString &path, const QString &answer)
{
    store::Catalogue catalogue;
    if (catalogue.open(path) != store::Catalogue::OpenResult::Created)
        qFatal("cannot create %s", qPrintable(path));
    Ours result;
    QElapsedTimer clock;
    clock.start();
    const QList<site::CatalogueRecord> records = site::parseCatalogueAnswer(answer);
    result.parseMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    const site::CatalogueWriter::Result written =
        site::CatalogueWriter(catalogue.database()).write(records, QStringLiteral("2026/12/7"));
    result.storeMs = clock.nsecsElapsed() / 1e6;
    if (!written.ok)
        qFatal("store failed: %s", qPrintable(written.error));
    result.inserted = written.inserted;
    return result;
}

// The sqlite3 shell, schema made beforehand, timed for the import alone
// (process start included).
double runShell(const QString &path, const QString &rowsFile)
{
    QProcess shell;
    const QString schema = store::sql::createVod() + QStringLiteral(";\n") + store::sql::createVodIndex()
                           + QStringLiteral(";\n") + store::sql::createCdate() + QStringLiteral(";\n")
                           + QStringLiteral("pragma journal_mode=wal;\n");
    shell.start(QStringLiteral("sqlite3"), {path});
    shell.write(schema.toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(60000) || shell.exitCode() != 0)
        qFatal("sqlite3 failed to make the schema: %s", shell.readAllStandardError().constData());

    const QByteArray import = "pragma synchronous=normal;\n.mode ascii\nbegin;\n.import '" + rowsFile.toUtf8()
                              + "' vod\nupdate cdate set up_date='2026/12/7';\ncommit;\n";
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("sqlite3"), {path});
    shell.write(import);
    shell.closeWriteChannel();
    if (!shell.waitForFinished(120000) || shell.exitCode() != 0)
        qFatal("sqlite3 import failed: %s", shell.readAllStandardError().constData());
    const double ms = clock.nsecsElapsed() / 1e6;
    const QByteArray errors = shell.readAllStandardError();
    if (!errors.isEmpty())
        qFatal("sqlite3 import complained: %s", errors.constData());
    return ms;
}

qint64 countRows(const QString &path)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {path, QStringLiteral("select count(*) from vod")});
    shell.waitForFinished(60000);
    return shell.readAllStandardOutput().trimmed().toLongLong();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");

    const kinolark::sample::SampleCatalogue catalogue(titleCount);
    const QString answer = catalogue.allAnswer(0);

    // The same rows for the shell, in its ASCII mode: unit separator between
    // fields, record separator between rows, no quoting.
    const QList<site::CatalogueRecord> records = site::parseCatalogueAnswer(answer);
    const QString rowsFile = dir.filePath(QStringLiteral("rows.txt"));
    {
        QByteArray bytes;
        for (const site::CatalogueRecord &r : records) {
            bytes += QByteArray::number(r.id) + '\x1f' + QByteArray::number(r.category) + '\x1f' + r.name.toUtf8()
                     + '\x1f' + r.letter.toUtf8() + '\x1e';
        }
        QFile file(rowsFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(rowsFile));
    }

    std::vector<double> parse, store, shell;
    int inserted = 0;
    qint64 imported = 0;
    for (int run = 0; run < runs; ++run) {
        const Ours ours = runOurs(dir.filePath(QStringLiteral("ours%1.db").arg(run)), answer);
        parse.push_back(ours.parseMs);
        store.push_back(ours.storeMs);
        inserted = ours.inserted;
        const QString anchor = dir.filePath(QStringLiteral("shell%1.db").arg(run));
        shell.push_back(runShell(anchor, rowsFile));
        imported = countRows(anchor);
    }
    std::vector<double> total;
    for (int run = 0; run < runs; ++run)
        total.push_back(parse[size_t(run)] + store[size_t(run)]);

    const double oursMs = median(total);
    const double shellMs = median(shell);
    std::printf("Sync of a %d-title answer (%.1f MB as UTF-8), median of %d runs\n", titleCount,
                answer.toUtf8().size() / 1e6, runs);
    std::printf("  %-34s %10s %14s\n", "step", "ms", "rows/s");
    std::printf("  %-34s %10.1f %14.0f\n", "parse (kinolark)", median(parse), inserted / median(parse) * 1000);
    std::printf("  %-34s %10.1f %14.0f\n", "store (kinolark)", median(store), inserted / median(store) * 1000);
    std::printf("  %-34s %10.1f %14.0f\n", "parse + store (kinolark)", oursMs, inserted / oursMs * 1000);
    std::printf("  %-34s %10.1f %14.0f\n", "sqlite3 shell .import (anchor)", shellMs, imported / shellMs * 1000);
    std::printf("  rows: kinolark %d, sqlite3 %lld\n", inserted, imported);
    std::printf("  ratio kinolark / sqlite3: %.2f (target <= 2.00) %s\n", oursMs / shellMs,
                oursMs / shellMs <= 2.0 ? "met" : "MISSED");
    std::printf("@row\tsync of %dk records\t%.0f ms\t%.0f ms\t%.2fx\t<= 2.0x\t%s\n", titleCount / 1000, oursMs,
                shellMs, oursMs / shellMs, oursMs / shellMs <= 2.0 && inserted == imported ? "yes" : "NO");
    return 0;
}
