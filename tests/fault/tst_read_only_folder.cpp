#include "program_process.h"
#include "scripted_server.h"
#include "store/catalogue.h"
#include "store/today.h"
#include "temp_folder.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Reply = ScriptedServer::Reply;

namespace {

// Makes a folder read-only for as long as it lives. Root ignores permission
// bits, so it gets a read-only bind mount instead.
class ReadOnlyFolder
{
public:
    ~ReadOnlyFolder() { undo(); }

    bool apply(const QString &folder)
    {
        if (geteuid() != 0) {
            if (!QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner))
                return false;
            m_undo = [folder] {
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            };
            return true;
        }
        if (QProcess::execute("mount", {"--bind", folder, folder}) != 0)
            return false;
        // Lazily: a helper of the web engine may still be on its way out.
        m_undo = [folder] { QProcess::execute("umount", {"--lazy", folder}); };
        return QProcess::execute("mount", {"-o", "remount,bind,ro", folder}) == 0;
    }

    void undo()
    {
        if (m_undo)
            m_undo();
        m_undo = nullptr;
    }

private:
    std::function<void()> m_undo;
};

// Every file under `folder` with its bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readAll(path));
    }
    return files;
}

// A catalogue holding titles `ids`, last synced on `date`.
void makeCatalogue(const QString &path, const QList<int> &ids, const QString &date)
{
    kinolark::store::Catalogue catalogue;
    QVERIFY(catalogue.open(path) == kinolark::store::Catalogue::OpenResult::Created);
    QSqlQuery query(catalogue.database());
    query.prepare("update cdate set up_date = ?");
    query.addBindValue(date);
    QVERIFY(query.exec());
    query.prepare("insert into vod values (?, 8, ?, 'a')");
    for (int id : ids) {
        query.addBindValue(id);
        query.addBindValue(QString("title %1").arg(id));
        QVERIFY(query.exec());
    }
}

} // namespace

// The built program installed in a folder it cannot write: it keeps its
// files in the per-user data folder, and loses nothing on the way.
class tst_ReadOnlyFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_site.listen()); }

    void userFolderServes_data()
    {
        QTest::addColumn<QList<int>>("ownTitles"); // the user's own catalogue; none when empty
        QTest::addColumn<QString>("request");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("first start copies the shipped catalogue")
            << QList<int>() << "Lx=All&Id=3" << QStringList{"1", "2", "3", "4"};
        QTest::newRow("the user's own catalogue stays")
            << QList<int>{50} << "Lx=All&Id=50" << QStringList{"50", "51"};
    }
    void userFolderServes()
    {
        QFETCH(QList<int>, ownTitles);
        QFETCH(QString, request);
        QFETCH(QStringList, titles);
        m_site.requests.clear();
        m_site.on("Lx=All&Id=3", Reply(200, "4$8$four$f&&"));
        m_site.on("Lx=All&Id=50", Reply(200, "51$8$fifty-one$f&&"));
        m_site.on("Lx=Up", Reply(200, "Up1"));

        QTemporaryDir installed, home;
        QVERIFY(ProgramProcess::install(installed.path()));
        makeCatalogue(installed.filePath("data.db"), {1, 2, 3}, QString());
        const QString user = home.filePath("kinolark");
        if (!ownTitles.isEmpty()) {
            QVERIFY(QDir().mkpath(user));
            makeCatalogue(user + "/data.db", ownTitles, "2001/1/1");
        }
        const QMap<QString, QByteArray> shipped = snapshot(installed.path());
        ReadOnlyFolder readOnly;
        if (!readOnly.apply(installed.path()))
            QSKIP("cannot make a read-only folder here");

        ProgramProcess program;
        QVERIFY(program.start(installed.path(), m_site.site(), home.path()));
        // The version is asked only after the sync has committed.
        QTRY_VERIFY_WITH_TIMEOUT(m_site.count("Lx=Up") == 1 || !program.running(), 60000);
        QVERIFY2(program.running(), "the program ended by itself");
        program.stop();
        QStringList queries = m_site.requests.filter("Lx=");
        QCOMPARE(queries, (QStringList{request, "Lx=Up"}));

        // The user's folder holds the pages and the catalogue.
        QCOMPARE(readAll(user + "/tv.htm"), shipped.value("tv.htm"));
        QVERIFY(QFileInfo(user + "/home.htm").size() > 0);
        const CatalogueReader reader(user + "/data.db");
        QCOMPARE(reader.column("select vod_id from vod order by vod_id"), titles);
        QCOMPARE(reader.column("select up_date from cdate"), QStringList{kinolark::store::todayString()});

        // The installed folder is as it was shipped.
        readOnly.undo();
        QCOMPARE(snapshot(installed.path()), shipped);
    }

private:
    ScriptedServer m_site;
};

QTEST_GUILESS_MAIN(tst_ReadOnlyFolder)
#include "tst_read_only_folder.moc"
