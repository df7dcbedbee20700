#pragma once

// Running one job on every port at once, and what nuvctl prints about it.

#include "CommThread.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

struct TCliRequest;
class TJobSet;

// A line of data on stdout.
void Out(const QString& line);
// Each line on stderr, after "nuvctl: ".
void Err(const QString& text);

// The identification as the result line shows it; "-" for none.
QString IdText(const QByteArray& id);
QString Seconds(double s);
// "OK", or the status word with the exit status.
QString ResultText(int status);
QString Hex(const uint8_t* data, int32_t length);
// "command 0x64, 9 bytes: 4E ..." for -v.
QString BlockText(uint16_t code, const uint8_t* block, int32_t length);

// Result lines (unless quiet and not data), one sentence per failure on stderr, and with
// several ports a summary. Returns the status of the first port that failed.
int Report(const TCliRequest& r, TJobSet& set, bool data = false);

// The same job on every port at once. fill sets the worker's inputs; bytes is the transfer's
// size per port (0: no transfer, no progress bar); data: the result lines are the command's
// output, printed even when quiet.
int RunOnAllPorts(const TCliRequest& r, uint8_t job, const std::function<void(TCommThread&)>& fill,
                  int64_t bytes = 0, bool data = false);

// One command block, as the SET pages send it.
int RunCommand(const TCliRequest& r, uint16_t code, const uint8_t* block, int32_t length);

// One file downloaded, bytes long.
int RunDownload(const TCliRequest& r, const TDownloadFile& file, int64_t bytes);
