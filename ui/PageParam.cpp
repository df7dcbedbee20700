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
        v.FBaudRate = RateField(ComboSetBaudRate);
        v.FCodePage = SelectedPosition(ComboCodePage);
        v.FDensity = SelectedPosition(ComboDensity);
        v.FFont = SelectedPosition(ComboFont);
        v.FLineFeed = SelectedPosition(comboLineFeed);
        v.FIdle = NumberField(edIdle);
        v.FOff = NumberField(edOff);
        v.FMaxFeed = NumberField(edMaxFeed);
        v.FPage = NumberField(edPage);
        PackParameterBlock(FComm->FCmdData, v);
        FComm->FCmdLength = ParameterBlockLength;
        FComm->FCmdCode = cmdSetParameters;
        FComm->FCmdArg = 0;
        RunCommandJob({historyjob::SetParams, {}, {}});
    });
}
