#pragma once

// Files a test sets up and reads back.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Bytes from "03 FF 2F ..." text; spaces are skipped.
inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Writes the file whole, making its folder first.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly) &&
           f.write(bytes) == bytes.size();
}

// The file's bytes; a text no file of a test holds when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
