// BLUE TOOTH, IrCOMM and Factory pages.

#include "UniMain.h"

#include "CommandBlocks.h"
#include "TextToInt.h"

#include <QComboBox>
#include <QLineEdit>
#include <limits>

void TfrmMain::btSetBlueToothClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        // Taken as typed, not trimmed; either may be empty.
        const QByteArray name = edName->text().toLatin1();
        const QByteArray pin = edPassword->text().toLatin1();
        const int32_t length = PackTextPair(FComm->FCmdData, MaxTextBlock, name, pin, true);
        if (length < 0) {
            ShowError(QStringLiteral("DEVICE NAME and PIN are too long: together they take %1 "
                                     "bytes, the printer accepts at most %2.")
                          .arg(name.size() + pin.size() + 2)
                          .arg(MaxTextBlock));
            return;
        }
        FComm->FCmdLength = length;
        FComm->FCmdCode = cmdSetBluetooth;
        FComm->FCmdArg = 0;
        RunCommandJob({historyjob::SetBluetooth, {}, {}});
    });
}

void TfrmMain::btIrCommClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        const int32_t rate =
            RateField(comboIrBaudRate, QStringLiteral("BAUD RATE on the IrCOMM page"));
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
        const QByteArray model = TrimCtl(edModalName->text()).toLatin1();
        const QByteArray serial = TrimCtl(edSerialNo->text()).toLatin1();
        const int32_t length = PackTextPair(FComm->FCmdData, MaxTextBlock, model, serial, false);
        if (length < 0) {
            ShowError(QStringLiteral("MODAL NAME and SERIAL NO are too long: together they take "
                                     "%1 bytes, the printer accepts at most %2.")
                          .arg(model.size() + serial.size() + 1)
                          .arg(MaxTextBlock));
            return;
        }
        FComm->FCmdLength = length;
        FComm->FCmdCode = cmdSetFactoryInfo;
        FComm->FCmdArg = 0;
        RunCommandJob({historyjob::SetFactory, {}, QString::fromLatin1(serial)});
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
