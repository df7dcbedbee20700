#pragma once

#include <QString>

// The files the window and nuvctl keep in the files folder, by name.
namespace filename {
inline const QString Config = QStringLiteral("config.ini");
inline const QString CodePages = QStringLiteral("codepage.ini");
inline const QString TrafficLog = QStringLiteral("debug.log");
inline const QString OkSound = QStringLiteral("ok.wav");
inline const QString ErrorSound = QStringLiteral("error.wav");
inline const QString Font = QStringLiteral("font.bin");
inline const QString Logo = QStringLiteral("logo.bin");
} // namespace filename
