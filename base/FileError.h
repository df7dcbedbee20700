#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <stdexcept>

// The file layer's message: what could not be done to which file (its full path), and why.
inline QString FileErrorText(const char* action, const QString& path, const QString& reason) {
    return QStringLiteral("Cannot %1 file \"%2\". %3")
        .arg(QLatin1String(action), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()),
             reason);
}

// A file that could not be read or written, with the file layer's message.
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const QString& text) : std::runtime_error(text.toStdString()) {}
};
