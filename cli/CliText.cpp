#include "CliText.h"

#include "ExitStatus.h"
#include "FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

void Usage(const QString& text) {
    throw ECliError(exitUsage, text);
}

QString Shortened(const QString& text) {
    constexpr qsizetype kLongest = 40;
    return text.size() <= kLongest ? text : text.left(32) + QStringLiteral("...");
}

QString Quoted(const QString& text) {
    const QString quoted = QLatin1Char('"') + Shortened(text) + QLatin1Char('"');
    return Shortened(text) == text
               ? quoted
               : QStringLiteral("%1 (%2 characters)").arg(quoted).arg(text.size());
}

QString NotRegularFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such file.");
    if (info.isDir())
        return QStringLiteral("It is a folder, not a file.");
    if (!info.isFile())
        return QStringLiteral("It is not a regular file.");
    return {};
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (const QString why = NotRegularFile(path); !why.isEmpty())
        throw ECliError(exitFile, FileErrorText("open", path, why));
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("open", path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ECliError(exitFile, FileErrorText("read", path, file.errorString()));
    return bytes;
}

QByteArray ReadSettingsFile(const QString& path, const QString& kind) {
    QByteArray bytes = ReadWholeFile(path);
    if (bytes.contains('\0'))
        throw ECliError(exitFile, QStringLiteral("%1\"%2\" is not a settings file: it holds NUL "
                                                 "bytes.")
                                      .arg(kind, QDir::toNativeSeparators(path)));
    return bytes;
}

QByteArray SingleByte(const QString& what, const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            Usage(QStringLiteral("%1 \"%2\" holds characters outside Latin-1, which the printer "
                                 "cannot take.")
                      .arg(what, text));
    return text.toLatin1();
}

QString PortFileTag(const QString& port) {
    QString tag = port;
    if (tag.startsWith(QLatin1String("/dev/")))
        tag = tag.mid(5);
    tag.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    while (tag.startsWith(QLatin1Char('_')))
        tag.remove(0, 1);
    return tag;
}
