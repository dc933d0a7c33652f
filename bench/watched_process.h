#pragma once

// Another process watched from outside for the benchmarks: started with its
// output in a log, its window seen on the X display, its memory and
// processor time read from /proc, and closed as a user would.

#include "x_watch.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <vector>

namespace kinolark::bench {

constexpr int windowTimeoutMs = 60000;

double median(std::vector<double> values);
double mb(qint64 kb);

struct Child
{
    pid_t pid = -1;
    unsigned long window = 0;
};

// Starts `program` with `arguments`, output to `log`, in `environment`.
pid_t spawn(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
            const QString &log);
// Closes the window as a user would and waits for the process to end; kills
// it only when it does not.
void stop(XWatch &x, const Child &child);
// Milliseconds from starting the process to its window being mapped; the
// process is left running in `child`.
double timeToWindow(XWatch &x, const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment, const QString &log, Child *child,
                    QElapsedTimer *started = nullptr);
// A field of /proc/<pid>/status in kB.
qint64 statusKb(pid_t pid, const char *field);
// Processor time the process has used so far, in clock ticks.
qint64 cpuTicks(pid_t pid);
// Waits until the process uses (almost) no processor for half a second.
bool waitQuiet(pid_t pid, int maxMs);

} // namespace kinolark::bench
