#pragma once

// --json's events: one JSON object a line on stdout, and nothing else there. The names of the
// events and their fields are published (README, "Command line"): add, never rename.

#include "JsonLine.h"

#include <QString>

namespace event {
inline const QString Start = QStringLiteral("start");
inline const QString Progress = QStringLiteral("progress");
inline const QString End = QStringLiteral("end");
inline const QString Summary = QStringLiteral("summary");
inline const QString Done = QStringLiteral("done");       // a printer's recipe has ended
inline const QString Watch = QStringLiteral("watch");     // a station watches a port
inline const QString Printer = QStringLiteral("printer"); // a printer answered a station
inline const QString Gone = QStringLiteral("gone");       // it stopped answering
inline const QString Error = QStringLiteral("error");     // refused before any printer
inline const QString Version = QStringLiteral("version");
inline const QString Port = QStringLiteral("port");       // list-ports: one a port
inline const QString History = QStringLiteral("history"); // one a job of the history
inline const QString Bundle = QStringLiteral("bundle");   // the support bundle written
inline const QString Logo = QStringLiteral("logo");       // logo build: the image built
inline const QString Picture = QStringLiteral("picture"); // logo build: one a picture
} // namespace event

// {"event":name, ...: the fields follow.
TJsonLine Event(const QString& name);
void Emit(const TJsonLine& line);

// "ok", "failed" or "cancelled" (stopped by a signal), as the history words them.
QString ResultWord(int status);
