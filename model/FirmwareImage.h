#pragma once

#include <QByteArray>
#include <QString>

// A firmware image is at least its 256-byte header long, carries its own length at offset 4,
// and its complete 32-bit little-endian words add up to 0 (modulo 2^32); one to three bytes
// after the last complete word do not count.
bool CheckFirmwareImage(const QByteArray& image);

// Why an image fails that check, in a technician's words; empty when it passes.
QString FirmwareImageProblem(const QByteArray& image);
