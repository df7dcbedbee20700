// BLUE TOOTH, IrCOMM and Factory pages.

#include "UniMain.h"

#include "CommandBlocks.h"
#include "TextToInt.h"

#include <QComboBox>
#include <QLineEdit>
#include <limits>

void TfrmMain::RunTextPairJob(uint16_t command, const QByteArray& first, const QByteArray& second,
                              bool trailingZero, const QString& firstName,
                              const QString& secondName, const TJobRecord& record) {
    const int32_t length = PackTextPair(FComm->FCmdData, MaxTextBlock, first, second, trailingZero);
    if (length < 0) {
        ShowError(TextPairTooLong(firstName, secondName,
                                  TextPairLength(first.size(), second.size(), trailingZero),
                                  MaxTextBlock));
        return;
    }
    FComm->FCmdLength = length;
    FComm->FCmdCode = command;
    FComm->FCmdArg = 0;
    RunCommandJob(record);
}

void TfrmMain::btSetBlueToothClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        // Taken as typed, not trimmed; either may be empty.
        RunTextPairJob(cmdSetBluetooth, edName->text().toLatin1(), edPassword->text().toLatin1(),
                       true, QStringLiteral("DEVICE NAME"), QStringLiteral("PIN"),
                       {historyjob::SetBluetooth, {}, {}});
    });
}

void TfrmMain::btIrCommClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        const int32_t rate = RateField(comboIrBaudRate);
        PutBigEndian32(FComm->FCmdData, static_cast<uint32_t>(rate));
        FComm->FCmdLength = IrRateBlockLength;
        FComm->FCmdCode = cmdSetIrRate;
        FComm->FCmdArg = 0;
        RunCommandJob({historyjob::SetIrComm, {}, {}});
    });
}

void TfrmMain::btFactoryClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        const QByteArray serial = TrimCtl(edSerialNo->text()).toLatin1();
        RunTextPairJob(cmdSetFactoryInfo, TrimCtl(edModalName->text()).toLatin1(), serial, false,
                       QStringLiteral("MODAL NAME"), QStringLiteral("SERIAL NO"),
                       {historyjob::SetFactory, {}, QString::fromLatin1(serial)});
    });
}

void TfrmMain::btIncClick() {
    // Counts the serial number up; a text that is not a number, or one at the top of the range,
    // stays as it is.
    const auto value = TryTextToInt64(TrimCtl(edSerialNo->text()));
    if (!value || *value == std::numeric_limits<int64_t>::max())
        return;
    edSerialNo->setText(QString::number(*value + 1));
}
