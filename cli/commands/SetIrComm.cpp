// set-ircomm RATE: the IrCOMM page's block.

#include "Commands.h"

#include "CliRequest.h"
#include "CommandLine.h"
#include "PortStep.h"
#include "PrinterCommands.h"

namespace {

std::unique_ptr<TPortStep> SetIrComm(const TCliRequest& r) {
    const int32_t rate = PositiveRate(QStringLiteral("RATE"), r.FArgs.at(0));
    uint8_t block[IrRateBlockLength];
    PutBigEndian32(block, static_cast<uint32_t>(rate));
    return CommandStep(r, cmdSetIrRate, block, IrRateBlockLength);
}

} // namespace

TCliCommand SetIrCommCommand() {
    TCliCommand c;
    c.FName = historyjob::SetIrComm;
    c.FHelp = {{QStringLiteral("set-ircomm RATE"), QStringLiteral("write the IrCOMM rate")}};
    c.FMinArgs = c.FMaxArgs = 1;
    c.FPrepare = SetIrComm;
    return c;
}
