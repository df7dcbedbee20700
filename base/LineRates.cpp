#include "LineRates.h"

#include "TextToInt.h"

#include <algorithm>

const QList<int32_t>& PrinterRates() {
    static const QList<int32_t> rates = {DeliveredRate, TransferRate, 19200, 38400, 57600};
    return rates;
}

QList<int32_t> PrinterRatesAscending() {
    QList<int32_t> rates = PrinterRates();
    std::sort(rates.begin(), rates.end());
    return rates;
}

TRateValue ConvertRate(const QString& text) {
    const auto value = TryTextToInt(text);
    if (!value)
        return {0, TRateProblem::NotNumber};
    return {*value, *value > 0 ? TRateProblem::None : TRateProblem::NotPositive};
}
