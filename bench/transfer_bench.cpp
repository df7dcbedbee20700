// Programs a firmware image and downloads a font into the simulated printer, and compares the
// wall time with what the protocol allows on the line.
#include "CommThread.h"
#include "PrinterSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray Pattern(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + 17) & 0xFF);
    return bytes;
}

// CPU time the worker thread has used so far, in nanoseconds (Linux scheduler statistics).
int64_t WorkerCpuNs() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "TCommThread")
            continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly))
            return stat.readAll().split(' ').value(0).toLongLong();
    }
    return 0;
}

struct TResult {
    int64_t FBytes = 0;
    int FBlocks = 0;
    double FWallMs = 0;
    double FBlockSpanMs = 0; // first block to last block, as the printer saw them
    TSimTiming FTiming;
    double FBlockTurnaroundUs = 0; // median, between two blocks
    double FWorkerCpuMs = 0;       // the worker thread's own processor time for the job
    int FError = 0;
};

TResult RunJob(TCommThread& worker, TPrinterSim& sim, uint8_t job, uint16_t command, int64_t bytes,
               int blocks) {
    sim.ClearFrames();
    const int64_t cpuBefore = WorkerCpuNs();
    QElapsedTimer timer;
    timer.start();
    worker.PostJob(job, nullptr);
    worker.FDoneEvent.WaitFor(600000);
    TResult r;
    r.FWallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    r.FBytes = bytes;
    r.FBlocks = blocks;
    r.FError = worker.FErrorCode;
    r.FWorkerCpuMs = double(WorkerCpuNs() - cpuBefore) / 1e6;
    int64_t first = -1, last = -1;
    std::vector<int64_t> turnarounds;
    for (const TSimFrame& f : sim.Frames()) {
        if (f.FCommand != command)
            continue;
        if (first < 0)
            first = f.FTimeMs;
        else if (f.FTurnaroundUs >= 0)
            turnarounds.push_back(f.FTurnaroundUs);
        last = f.FTimeMs;
    }
    if (!turnarounds.empty()) {
        std::nth_element(turnarounds.begin(), turnarounds.begin() + turnarounds.size() / 2,
                         turnarounds.end());
        r.FBlockTurnaroundUs = double(turnarounds[turnarounds.size() / 2]);
    }
    r.FBlockSpanMs = static_cast<double>(last - first);
    r.FTiming = sim.Timing();
    return r;
}

void Print(const char* what, int pace, const TResult& r) {
    // Per block: request 12 + data bytes, reply 12 bytes, 10 bits a byte.
    const double blockBytes = static_cast<double>(r.FBytes) / r.FBlocks + 24.0;
    const double lineMs = pace > 0 ? blockBytes * r.FBlocks * 10.0 * 1000.0 / pace : 0.0;
    const double turnUs = r.FBlockTurnaroundUs;
    const double lateUs =
        r.FTiming.FReplies ? double(r.FTiming.FLatenessUs) / r.FTiming.FReplies : 0.0;
    std::printf("%-9s %-8s %8lld bytes %5d blocks  wall %9.1f ms", what,
                pace > 0 ? "paced" : "unpaced", static_cast<long long>(r.FBytes), r.FBlocks,
                r.FWallMs);
    if (pace > 0) {
        const double blockLineUs = blockBytes * 10.0 * 1e6 / pace;
        std::printf("  line %9.1f ms  wall/line %.4f  host turnaround %6.1f us/block = %.2f%% of "
                    "line  (printer late %6.1f us/block)",
                    lineMs, r.FWallMs / lineMs, turnUs, 100.0 * turnUs / blockLineUs, lateUs);
    } else {
        std::printf("  per block %6.1f us  host turnaround %6.1f us/block",
                    r.FBlockSpanMs * 1000.0 / (r.FBlocks - 1), turnUs);
    }
    std::printf("  worker CPU %5.1f us/block  error %d\n", r.FWorkerCpuMs * 1000.0 / r.FBlocks,
                r.FError);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int imageSize = argc > 1 ? std::atoi(argv[1]) : 256 * 1024;
    const int fontSize = argc > 2 ? std::atoi(argv[2]) : 64 * 1024;
    QTemporaryDir dir;
    const QString fontPath = dir.filePath(QStringLiteral("font.bin"));
    {
        QFile f(fontPath);
        if (!f.open(QIODevice::WriteOnly) || f.write(Pattern(fontSize)) != fontSize)
            return 1;
    }
    for (int pace : {0, 115200}) {
        TPrinterSim sim;
        QString error;
        if (!sim.StartPty(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        TSimFaults faults;
        faults.FPacingBaud = pace;
        sim.SetFaults(faults);
        TJobOrigin origin;
        origin.FPortName = sim.SlavePath();
        origin.FBaudRate = 115200; // no rate switches: only the blocks are measured
        TCommThread worker(&origin);
        worker.SetLogPath(dir.filePath(QStringLiteral("debug.log")));

        worker.FStream.SetData(Pattern(imageSize));
        const int imageBlocks = (imageSize + 255) / 256;
        Print("program", pace,
              RunJob(worker, sim, jobProgram, cmdWriteProgram, int64_t(imageBlocks) * 256,
                     imageBlocks));

        worker.FFileNames = {fontPath};
        worker.FFileLabels = {QStringLiteral("font.bin")};
        worker.FFileCommands = {QStringLiteral("$63")};
        worker.FFileBases = {QStringLiteral("0")};
        Print("download", pace,
              RunJob(worker, sim, jobDownload, cmdWriteFont, fontSize, (fontSize + 255) / 256));
    }
    return 0;
}
