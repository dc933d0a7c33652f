#include "watched_process.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

namespace kinolark::bench {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double mb(qint64 kb)
{
    return double(kb) / 1024.0;
}

// Starts `program` with `arguments`, output to `log`, in `environment`.
pid_t spawn(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
            const QString &log)
{
    std::vector<QByteArray> argStore{QFile::encodeName(program)};
    for (const QString &a : arguments)
        argStore.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStore;
    for (const QString &e : environment.toStringList())
        envStore.push_back(e.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray logName = QFile::encodeName(log);
    posix_spawn_file_actions_addopen(&actions, 1, logName.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Closes the window as a user would and waits for the process to end; kills
// it only when it does not.
void stop(XWatch &x, const Child &child)
{
    if (child.window)
        x.close(child.window);
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (clock.elapsed() > 15000) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            return;
        }
        QThread::msleep(5);
    }
}

// Milliseconds from starting the process to its window being mapped; the
// process is left running in `child`.
double timeToWindow(XWatch &x, const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment, const QString &log, Child *child,
                    QElapsedTimer *started)
{
    x.listen();
    QElapsedTimer clock;
    clock.start();
    child->pid = spawn(program, arguments, environment, log);
    if (child->pid < 0)
        qFatal("cannot start %s", qPrintable(program));
    child->window = x.waitForWindow(child->pid, windowTimeoutMs);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!child->window) {
        stop(x, *child);
        qFatal("no window from %s within %d s (see %s)", qPrintable(program), windowTimeoutMs / 1000,
               qPrintable(log));
    }
    if (started)
        *started = clock;
    return ms;
}

// A field of /proc/<pid>/status in kB.
qint64 statusKb(pid_t pid, const char *field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Processor time the process has used so far, in clock ticks.
qint64 cpuTicks(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // Fields after the command name, which may hold blanks: state is the
    // third field, utime the 14th and stime the 15th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

// Waits until the process uses (almost) no processor for half a second.
bool waitQuiet(pid_t pid, int maxMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 before = cpuTicks(pid);
    while (clock.elapsed() < maxMs) {
        QThread::msleep(500);
        const qint64 now = cpuTicks(pid);
        if (now - before <= 1)
            return true;
        before = now;
    }
    return false;
}

} // namespace kinolark::bench
