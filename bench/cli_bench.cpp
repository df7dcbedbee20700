// One nuvctl run programming sixteen simulated printers against one programming a single
// printer: the wall times, and the processor time the simulators and nuvctl used, so that a
// difference can be put down to the simulators (separate printer-sim processes) or the tool.
#include "PrinterSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 115200;
constexpr double kLimit = 1.2;

// User and system time of a running process, in seconds.
double ProcessCpu(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name in parentheses: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

double ChildrenCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TSim {
    std::unique_ptr<QProcess> FProcess;
    QString FPath;
};

struct TResult {
    double FWall = 0;
    double FSimCpu = 0;
    double FToolCpu = 0;
    int FStatus = -1;
};

TResult Program(const QString& image, std::vector<TSim>& sims, size_t count) {
    QStringList ports;
    double before = 0;
    for (size_t i = 0; i < count; ++i) {
        ports << sims[i].FPath;
        before += ProcessCpu(sims[i].FProcess->processId());
    }
    const double toolBefore = ChildrenCpu();
    QElapsedTimer timer;
    timer.start();
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral(NUVCTL_PROGRAM),
               {QStringLiteral("program"), image, QStringLiteral("--baud"), QString::number(kRate),
                QStringLiteral("-q"), QStringLiteral("--port"), ports.join(QLatin1Char(','))});
    TResult r;
    if (tool.waitForFinished(30 * 60 * 1000) && tool.exitStatus() == QProcess::NormalExit)
        r.FStatus = tool.exitCode();
    r.FWall = double(timer.nsecsElapsed()) / 1e9;
    r.FToolCpu = ChildrenCpu() - toolBefore;
    for (size_t i = 0; i < count; ++i)
        r.FSimCpu += ProcessCpu(sims[i].FProcess->processId());
    r.FSimCpu -= before;
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int printers = args.size() > 1 ? args[1].toInt() : 16;
    const int size = args.size() > 2 ? args[2].toInt() : 256 * 1024;
    if (printers < 1 || size < 256) {
        std::fprintf(stderr, "usage: cli_bench [PRINTERS [IMAGE_BYTES]]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("firmware.bin"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || file.write(SimFirmwareImage(size)) != size)
        return 1;
    file.close();

    std::vector<TSim> sims(static_cast<size_t>(printers));
    for (TSim& s : sims) {
        s.FProcess = std::make_unique<QProcess>();
        s.FProcess->start(QStringLiteral(PRINTER_SIM_PROGRAM),
                          {QStringLiteral("--pace"), QString::number(kRate)});
        while (s.FPath.isEmpty() && s.FProcess->waitForReadyRead(5000)) {
            const QByteArray line = s.FProcess->readLine().trimmed();
            if (line.startsWith("pty: "))
                s.FPath = QString::fromLocal8Bit(line.mid(5));
        }
        if (s.FPath.isEmpty()) {
            std::fprintf(stderr, "printer-sim did not start\n");
            return 1;
        }
    }

    const int blocks = (size + 255) / 256;
    const double lineSeconds = double(blocks) * (12 + 256 + 12) * 10 / kRate;
    std::printf("nuvctl program: %d-byte image, printers paced at %d bit/s (line time %.1f s "
                "each)\n",
                size, kRate, lineSeconds);
    const TResult one = Program(image, sims, 1);
    std::printf("  %2d printer:  wall %6.2f s   simulators' CPU %5.2f s   nuvctl CPU %5.2f s%s\n",
                1, one.FWall, one.FSimCpu, one.FToolCpu, one.FStatus == 0 ? "" : "  FAILED");
    const TResult all = Program(image, sims, sims.size());
    std::printf("  %2d printers: wall %6.2f s   simulators' CPU %5.2f s   nuvctl CPU %5.2f s%s\n",
                printers, all.FWall, all.FSimCpu, all.FToolCpu, all.FStatus == 0 ? "" : "  FAILED");
    const double ratio = all.FWall / one.FWall;
    std::printf("  %d printers take %.2f times as long as one (at most %.1f)\n", printers, ratio,
                kLimit);

    for (TSim& s : sims) {
        s.FProcess->terminate();
        s.FProcess->waitForFinished(5000);
    }
    return one.FStatus == 0 && all.FStatus == 0 && ratio <= kLimit ? 0 : 1;
}
