#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

// The file layer's message: what could not be done to which file (its full path), and why.
inline QString FileErrorText(const char* action, const QString& path, const QString& reason) {
    return QStringLiteral("Cannot %1 file \"%2\". %3")
        .arg(QLatin1String(action), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()),
             reason);
}
