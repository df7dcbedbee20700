// PARA page: the printer's operating parameters.

#include "UniMain.h"

#include "CommandBlocks.h"
#include "WidgetValues.h"

#include <QComboBox>
#include <QLineEdit>

void TfrmMain::btSetClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        TParameterValues v;
        v.FBaudRate = RateField(ComboSetBaudRate, QStringLiteral("BAUD RATE on the PARA page"));
        v.FCodePage = SelectedPosition(ComboCodePage);
        v.FDensity = SelectedPosition(ComboDensity);
        v.FFont = SelectedPosition(ComboFont);
        v.FLineFeed = SelectedPosition(comboLineFeed);
        v.FIdle = NumberField(edIdle, QStringLiteral("IDLE TIME on the PARA page"));
        v.FOff = NumberField(edOff, QStringLiteral("OFF TIME on the PARA page"));
        v.FMaxFeed = NumberField(edMaxFeed, QStringLiteral("MAX FEED on the PARA page"));
        v.FPage = NumberField(edPage, QStringLiteral("PAGE LEN on the PARA page"));
        PackParameterBlock(FComm->FCmdData, v);
        FComm->FCmdLength = ParameterBlockLength;
        FComm->FCmdCode = cmdSetParameters;
        FComm->FCmdArg = 0;
        RunCommandJob({historyjob::SetParams, {}, {}});
    });
}
