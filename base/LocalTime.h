#pragma once

#include <QDateTime>
#include <QString>

// A moment as the tool's records write it: local time in ISO 8601 to the millisecond, with its
// offset always spelt out ("2026-12-09T10:14:03.118+01:00", never "Z"), so that the lines of
// every computer on a line read alike.
QString LocalTimeText(const QDateTime& time);
