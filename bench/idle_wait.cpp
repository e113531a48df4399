// What `somnel idle` costs while it waits, measured on the real process
// on a private virtual X server, for each X11 idle source: processor time
// per hour (extrapolated from a measured window at steady state), wake-ups
// (context switches) per minute and resident memory; then how long after
// the idle time the saver's process starts, from the last input sent
// through XTest. The two sources run in alternating blocks, as the machine
// is shared. Prints figures, asserts nothing.
//   bench_idle_wait [SECONDS]   the measured window per source (default 60)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#ifndef SOMNEL_BIN_DIR
#define SOMNEL_BIN_DIR "bin"
#endif
#ifndef SOMNEL_TEST_SAVER_DIR
#define SOMNEL_TEST_SAVER_DIR "test-savers"
#endif

namespace {

// What /proc says about a process: processor seconds (all its threads),
// context switches, resident kilobytes.
struct Usage {
    double cpu = 0;
    long switches = 0, rssKb = 0;
};

Usage usage(qint64 pid) {
    Usage u;
    // NOTE: schedstat counts the time on the processor in nanoseconds
    // (stat's clock ticks, 10 ms, read zero for a process this quiet);
    // both it and the switches are counted per thread.
    const QString task = QString("/proc/%1/task").arg(pid);
    for (const QString &thread : QDir(task).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile sched(task + "/" + thread + "/schedstat"), status(task + "/" + thread + "/status");
        if (sched.open(QIODevice::ReadOnly)) u.cpu += sched.readAll().split(' ').value(0).toDouble() / 1e9;
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QList<QByteArray> w = line.simplified().split(' ');
            if (w.size() < 2) continue;
            if (w[0] == "VmRSS:") u.rssKb = w[1].toLong();
            if (w[0] == "voluntary_ctxt_switches:" || w[0] == "nonvoluntary_ctxt_switches:")
                u.switches += w[1].toLong();
        }
    }
    return u;
}

// A private Xvfb; its display name ("" when it did not start).
QString startServer(QProcess *server) {
    server->start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-noreset", "-nolisten", "tcp"});
    QByteArray number;
    while (server->waitForReadyRead(30000)) {
        number += server->readAllStandardOutput();
        if (number.endsWith('\n')) return ":" + QString::fromLatin1(number.trimmed());
    }
    return "";
}

QProcess *startIdle(const QString &display, const QString &source, const QString &after, const QString &runtime) {
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(SOMNEL_BIN_DIR "/somnel", {"idle", "--source", source, "--after", after,
                                        SOMNEL_TEST_SAVER_DIR "/Tester.saver"});
    p->waitForStarted();
    return p;
}

void stop(QProcess *p) {
    p->terminate();
    p->waitForFinished(10000);
    delete p;
}

bool hasChild(qint64 pid) {
    QFile f(QString("/proc/%1/task/%1/children").arg(pid));
    return f.open(QIODevice::ReadOnly) && !f.readAll().trimmed().isEmpty();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const double span = argc > 1 ? atof(argv[1]) : 60.0;
    QTemporaryDir runtime;
    QProcess server;
    const QString display = startServer(&server);
    if (display.isEmpty()) {
        fprintf(stderr, "bench_idle_wait: cannot start Xvfb\n");
        return 1;
    }
    const QStringList sources{"x11-sync", "x11-mit"};

    // Waiting (an idle time of an hour, never reached) and while the saver
    // shows (an idle time of a second, no input): the watcher's process
    // alone. Two blocks each, alternating, after two settling seconds.
    for (const char *after : {"1h", "1s"}) {
        std::map<QString, Usage> total;
        std::map<QString, long> rss;
        for (int block = 0; block < 2; block++)
            for (const QString &source : sources) {
                QProcess *idle = startIdle(display, source, after, runtime.path());
                QThread::msleep(2000);
                const Usage a = usage(idle->processId());
                QThread::msleep(qint64(span * 500));
                const Usage b = usage(idle->processId());
                total[source].cpu += b.cpu - a.cpu;
                total[source].switches += b.switches - a.switches;
                rss[source] = std::max(rss[source], b.rssKb);
                stop(idle);
            }
        printf("somnel idle %s, measured over %.0f s per source:\n",
               after == std::string("1h") ? "waiting (idle time 1 h)" : "while its saver shows (the watcher alone)",
               span);
        for (const QString &source : sources)
            printf("  %-9s %8.3f CPU s per hour  %7.1f wake-ups per minute  %6.1f MiB resident\n",
                   qPrintable(source), total[source].cpu / span * 3600, total[source].switches / span * 60,
                   rss[source] / 1024.0);
    }

    // Start: from the last input to the saver's process, less the idle time.
    Display *dpy = XOpenDisplay(qPrintable(display));
    printf("the saver's process starts after the idle time (2 s) by, median of 5:\n");
    for (const QString &source : sources) {
        std::vector<double> late;
        for (int i = 0; i < 5 && dpy; i++) {
            QElapsedTimer since;
            since.start();
            XTestFakeRelativeMotionEvent(dpy, 1, 1, CurrentTime);
            XSync(dpy, False);
            QProcess *idle = startIdle(display, source, "2s", runtime.path());
            while (!hasChild(idle->processId()) && since.elapsed() < 30000) QThread::usleep(500);
            late.push_back(since.nsecsElapsed() / 1e6 - 2000);
            stop(idle);
        }
        printf("  %-9s %6.1f ms\n", qPrintable(source), median(late));
    }
    if (dpy) XCloseDisplay(dpy);
    server.terminate();
    server.waitForFinished();
    return 0;
}
