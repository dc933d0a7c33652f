#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <sys/prctl.h>

// The built program, copied into a folder of its own with the live TV page,
// as a user would have it, and run there as its own process.
class ProgramProcess
{
public:
    ~ProgramProcess() { stop(); }

    static QString builtFolder() { return qEnvironmentVariable("KINOLARK_BINARY_DIR") + QStringLiteral("/bin"); }

    // Copies the program and its page into `folder`.
    static bool install(const QString &folder)
    {
        for (const QString &name : {QStringLiteral("kinolark"), QStringLiteral("tv.htm")}) {
            const QString to = folder + QLatin1Char('/') + name;
            QFile::remove(to);
            if (!QFile::copy(builtFolder() + QLatin1Char('/') + name, to))
                return false;
        }
        return true;
    }

    // Starts `folder`/kinolark against `site`. The per-user data folder is
    // `dataHome`/kinolark, never the real user's. False when it does not start.
    bool start(const QString &folder, const QString &site, const QString &dataHome,
               const QStringList &extraEnvironment = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KINOLARK_SITE"), site);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // In the sanitizer build: the web engine (Chromium), D-Bus, fontconfig
        // and the GL drivers are not built with the sanitizers; they free
        // with a size of their own and leave memory behind at exit, which
        // the sanitizer would report as the program's. The program's own
        // code is checked by the in-process tests. A sanitizer abort gets an
        // exit status of its own, never taken for the program's.
        QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        if (!asan.isEmpty())
            asan += QLatin1Char(':');
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + QStringLiteral("new_delete_type_mismatch=0:detect_leaks=0:exitcode=86"));
        // No session bus: without one libdbus forks to launch its own, and
        // that child can hang in the sanitizer build, holding the start up.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + dataHome + QStringLiteral("/no-session-bus"));
        for (const QString &pair : extraEnvironment) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            env.insert(pair.left(eq), pair.mid(eq + 1));
        }
        m_process.setProcessEnvironment(env);
        // Started from elsewhere: the program must find its folder itself,
        // and the web engine's helpers keep no hold on that folder.
        m_process.setWorkingDirectory(dataHome);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that dies takes the program with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(folder + QStringLiteral("/kinolark"), {});
        return m_process.waitForStarted(10000);
    }

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

    void signal(int number) const
    {
        if (running())
            ::kill(pid_t(m_process.processId()), number);
    }

    // Ends the program at once and waits until it is gone.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill(); // a stopped process dies of it too
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

// What the write-ahead log beside a catalogue holds: its valid frames, and
// whether one of them ends a transaction.
struct WalState
{
    int frames = 0;
    bool committed = false; // some transaction in the log is complete
    int pending = 0;        // frames after the last complete one: a transaction under way
};

inline WalState readWal(const QString &path)
{
    WalState state;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return state;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 32)
        return state;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const quint32 pageSize = qFromBigEndian<quint32>(data + 8);
    const quint32 salt1 = qFromBigEndian<quint32>(data + 16);
    const quint32 salt2 = qFromBigEndian<quint32>(data + 20);
    if (pageSize < 512)
        return state;
    for (qsizetype at = 32; at + 24 + qsizetype(pageSize) <= bytes.size(); at += 24 + pageSize) {
        const uchar *frame = data + at;
        // Frames of an earlier generation of the log carry other salts.
        if (qFromBigEndian<quint32>(frame + 8) != salt1 || qFromBigEndian<quint32>(frame + 12) != salt2)
            break;
        ++state.frames;
        ++state.pending;
        if (qFromBigEndian<quint32>(frame + 4) != 0) {
            state.committed = true;
            state.pending = 0;
        }
    }
    return state;
}

// Reads a catalogue file through a connection of the test's own.
class CatalogueReader
{
public:
    explicit CatalogueReader(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~CatalogueReader()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    CatalogueReader(const CatalogueReader &) = delete;
    CatalogueReader &operator=(const CatalogueReader &) = delete;

    // The first column of every row of `sql`, as text; "error" when it fails.
    QStringList column(const QString &sql) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.exec(sql))
            return {QStringLiteral("error")};
        QStringList values;
        while (query.next())
            values << query.value(0).toString();
        return values;
    }
    QString value(const QString &sql) const { return column(sql).value(0); }

private:
    QString m_name = QStringLiteral("reader");
};

// Lines of a text file.
inline QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
