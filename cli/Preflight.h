#pragma once

// What can be checked before any printer is touched is checked then: a run that would fail
// half-way for a file it cannot write, or a port named twice, fails before the first frame.

#include <QString>

struct TCliRequest;

// Write permission is tried, not read from the permission bits: root passes those, and a
// read-only mount or an immutable file does not show in them. An existing file is opened for
// appending, which changes nothing; a new one is judged by its folder. replaced: the file is
// written anew beside itself and renamed, so the folder must take files either way. read: it
// is read as well. ECliError with exitFile when it cannot be.
void CheckWritable(const QString& path, bool replaced, bool read = false);
// An -o FILE: it is written beside itself and renamed over what was there, so only a regular
// file may stand in its place. ECliError with exitFile when it cannot be written.
void CheckOutputFile(const QString& path);
// Whether files can be created in the file's folder; ECliError with exitFile when not.
void CheckFolderTakesFiles(const QString& file);

// Throws ECliError with exitUsage or exitFile and one sentence; sends nothing, changes no file.
void CheckBeforePrinters(const TCliRequest& r);
