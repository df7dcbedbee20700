// Converts a list of 100 logo pictures of 384 x 1000 (24-bit, then 1-bit) into the NVRAM
// image, as the window does after every ADD and DELETE, and prints the time per list.
// Usage: logo_bench [ROUNDS]   (default 15)
#include "LogoImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Width = 384;
constexpr int Height = 1000;
constexpr int Pictures = 100;
constexpr int32_t LogoSize = 8 << 20;

// A different picture each time: stripes and rings, with colours on both sides of blue 128.
QImage Picture(int n, QImage::Format format) {
    QImage image(Width, Height, QImage::Format_RGB888);
    for (int y = 0; y < Height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < Width; ++x) {
            const int v = (x * (n + 3) + y * y / (n + 7) + ((x - 192) * (x - 192) + y) / 97) & 0xFF;
            row[3 * x] = uchar(v);
            row[3 * x + 1] = uchar(v ^ n);
            row[3 * x + 2] = uchar(255 - v);
        }
    }
    if (format == QImage::Format_Mono)
        return image.convertToFormat(format, {qRgb(255, 255, 255), qRgb(0, 0, 0)},
                                     Qt::ThresholdDither);
    return image;
}

struct TTimes {
    double FMedian = 0;
    double FMin = 0;
};

template <typename Build> TTimes Measure(int rounds, Build build) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        build();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

void Report(const char* what, const TTimes& t) {
    const double pixels = double(Width) * Height * Pictures;
    std::printf("%-28s %8.2f ms per list (min %8.2f)  %7.1f Mpixel/s\n", what, t.FMedian, t.FMin,
                pixels / (t.FMedian / 1000.0) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("%d pictures of %d x %d, SIZE %d, %d rounds\n", Pictures, Width, Height, LogoSize,
                rounds);
    for (const auto& [format, name] :
         {std::pair{QImage::Format_RGB888, "24-bit"}, std::pair{QImage::Format_Mono, "1-bit"}}) {
        QStringList files;
        for (int n = 0; n < Pictures; ++n) {
            const QString path = dir.filePath(QStringLiteral("%1-%2.bmp").arg(name).arg(n));
            if (!Picture(n, format).save(path, "BMP"))
                return 1;
            files << path;
        }
        const TLogoBuild first = BuildLogoImage(files, LogoSize, Width);
        if (!first.FOk) {
            std::fprintf(stderr, "%s\n", qPrintable(first.FMessage));
            return 1;
        }
        Report(qPrintable(QStringLiteral("%1, every file read").arg(name)),
               Measure(rounds, [&] { BuildLogoImage(files, LogoSize, Width); }));
        TLogoConverter cache;
        BuildLogoImage(files, LogoSize, Width, &cache);
        Report(qPrintable(QStringLiteral("%1, rebuilt from cache").arg(name)),
               Measure(rounds, [&] { BuildLogoImage(files, LogoSize, Width, &cache); }));
    }
    return 0;
}
