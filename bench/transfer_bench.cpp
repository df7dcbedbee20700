// Programs a firmware image and downloads a font into the simulated printer, and compares the
// wall time with what the protocol allows on the line.
#include "CommThread.h"
#include "PrinterSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QByteArray Pattern(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + 17) & 0xFF);
    return bytes;
}

struct TResult {
    int64_t FBytes = 0;
    int FBlocks = 0;
    double FWallMs = 0;
    double FBlockSpanMs = 0; // first block to last block, as the printer saw them
    int FError = 0;
};

TResult RunJob(TCommThread& worker, TPrinterSim& sim, uint8_t job, uint16_t command, int64_t bytes,
               int blocks) {
    sim.ClearFrames();
    QElapsedTimer timer;
    timer.start();
    worker.PostJob(job, nullptr);
    worker.FDoneEvent.WaitFor(600000);
    TResult r;
    r.FWallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    r.FBytes = bytes;
    r.FBlocks = blocks;
    r.FError = worker.FErrorCode;
    int64_t first = -1, last = -1;
    for (const TSimFrame& f : sim.Frames()) {
        if (f.FCommand != command)
            continue;
        if (first < 0)
            first = f.FTimeMs;
        last = f.FTimeMs;
    }
    r.FBlockSpanMs = static_cast<double>(last - first);
    return r;
}

void Print(const char* what, int pace, const TResult& r) {
    // Per block: request 12 + data bytes, reply 12 bytes, 10 bits a byte.
    const double blockBytes = static_cast<double>(r.FBytes) / r.FBlocks + 24.0;
    const double lineMs = pace > 0 ? blockBytes * r.FBlocks * 10.0 * 1000.0 / pace : 0.0;
    const double spanBlocks = r.FBlocks - 1; // the span runs from the first block to the last
    std::printf("%-9s %-8s bytes %8lld  blocks %5d  wall %9.1f ms", what,
                pace > 0 ? "paced" : "unpaced", static_cast<long long>(r.FBytes), r.FBlocks,
                r.FWallMs);
    if (pace > 0) {
        const double spanLineMs = blockBytes * spanBlocks * 10.0 * 1000.0 / pace;
        std::printf("  line %9.1f ms  wall/line %.4f  blocks/line %.4f", lineMs, r.FWallMs / lineMs,
                    r.FBlockSpanMs / spanLineMs);
    } else {
        std::printf("  per block %7.1f us (whole job %7.1f us)",
                    r.FBlockSpanMs * 1000.0 / spanBlocks, r.FWallMs * 1000.0 / r.FBlocks);
    }
    std::printf("  error %d\n", r.FError);
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
