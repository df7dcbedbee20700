#pragma once

// What the fuzz targets share: a check that aborts (so the fuzzer keeps the input), Qt's
// messages silenced, and a folder of this process's own for files.

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Decoders warn about every broken input; at fuzzing speed that is only noise.
inline void SilenceQt() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

// Removed at exit. In memory where the system offers it: the targets write a file per input.
inline const QString& FuzzFolder() {
    static QTemporaryDir dir(
        QDir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("nuv-fuzz-XXXXXX")));
    static const QString path = dir.path();
    FUZZ_CHECK(dir.isValid());
    return path;
}

inline QString WriteFuzzFile(const QString& name, const QByteArray& bytes) {
    const QString path = FuzzFolder() + u'/' + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    return path;
}
