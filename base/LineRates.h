#pragma once

// The rates of a printer's serial line, for every layer: the link's default, the engine's
// transfers, the window's drop-downs and nuvctl's search.

#include <QList>
#include <QString>
#include <cstdint>

// The rates a printer's serial line and its IrCOMM port take, the most common first (the order
// in which a search tries them); the first is the one a printer listens at as delivered.
const QList<int32_t>& PrinterRates();
// The same, lowest first, as the window's drop-downs list them.
QList<int32_t> PrinterRatesAscending();
// The rate a printer listens at as delivered: the first of PrinterRates().
constexpr int32_t DeliveredRate = 9600;
// Firmware and downloads go at this rate.
constexpr int32_t TransferRate = 115200;

// A rate as typed or given: converted by the text-to-integer rule, and positive.
enum class TRateProblem { None, NotNumber, NotPositive };
struct TRateValue {
    int32_t FValue = 0;
    TRateProblem FProblem = TRateProblem::None;
};
TRateValue ConvertRate(const QString& text);
