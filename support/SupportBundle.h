#pragma once

// The support bundle: one .tar.gz to send to support, holding the files folder's settings,
// traffic log, history and code-page list, and a text describing this program and machine.

#include "PortList.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct TSupportInfo {
    QString FFilesFolder;
    QString FProgram; // "NUV_II_Tool", "nuvctl"
    QString FVersion;
    QList<TPortInfo> FPorts; // the serial ports present
    QDateTime FTime;         // when the bundle is made
};

// "nuv-support-20261209-101403": the bundle's folder inside, and the file name offered for it.
QString SupportBundleName(const QDateTime& time);

// The files of the files folder a bundle takes, those that are there.
QStringList SupportFileNames();
// The text the bundle adds, under this name.
inline const QString SupportInfoFileName = QStringLiteral("system.txt");

// The program and its version, Qt's version, the system, the files folder and the serial
// ports present with their USB ids; `notes` lines are added at the end (files left out).
QString SupportInfoText(const TSupportInfo& info, const QStringList& notes = {});

// Writes the bundle to `path`: the files of SupportFileNames() present in the files folder and
// the info text, in a folder named after the time. All or nothing: a failure leaves whatever
// was at `path` as it was, and says why in `error`. A file that cannot be read is left out and
// the info text says why.
bool WriteSupportBundle(const QString& path, const TSupportInfo& info, QString* error = nullptr);
