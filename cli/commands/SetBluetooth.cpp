// set-bluetooth NAME PIN: the BLUE TOOTH page's block.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "PortStep.h"
#include "PrinterCommands.h"

namespace {

std::unique_ptr<TPortStep> SetBluetooth(const TCliRequest& r) {
    const QByteArray name = SingleByte(QStringLiteral("NAME"), r.FArgs.at(0));
    const QByteArray pin = SingleByte(QStringLiteral("PIN"), r.FArgs.at(1));
    uint8_t block[MaxCommandData];
    const int32_t length = PackTextPair(block, MaxCommandData, name, pin, true);
    if (length < 0)
        Usage(TextPairTooLong(QStringLiteral("NAME"), QStringLiteral("PIN"),
                              TextPairLength(name.size(), pin.size(), true), MaxCommandData));
    return CommandStep(r, cmdSetBluetooth, block, length);
}

} // namespace

TCliCommand SetBluetoothCommand() {
    TCliCommand c;
    c.FName = historyjob::SetBluetooth;
    c.FHelp = {{QStringLiteral("set-bluetooth NAME PIN"),
                QStringLiteral("write the Bluetooth device name and PIN")}};
    c.FMinArgs = c.FMaxArgs = 2;
    c.FPrepare = SetBluetooth;
    return c;
}
