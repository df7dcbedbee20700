// PARA page: the printer's operating parameters.

#include "UniMain.h"

#include "CommandBlocks.h"
#include "TextToInt.h"
#include "WidgetValues.h"

#include <QComboBox>
#include <QLineEdit>

void TfrmMain::btSetClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        TParameterValues v;
        // The rate text is converted untrimmed (leading blanks are skipped by the conversion).
        v.FBaudRate = TextToInt(ComboSetBaudRate->currentText());
        v.FCodePage = SelectedPosition(ComboCodePage);
        v.FDensity = SelectedPosition(ComboDensity);
        v.FFont = SelectedPosition(ComboFont);
        v.FLineFeed = SelectedPosition(comboLineFeed);
        v.FIdle = TextToInt(EditValueText(edIdle));
        v.FOff = TextToInt(EditValueText(edOff));
        v.FMaxFeed = TextToInt(EditValueText(edMaxFeed));
        v.FPage = TextToInt(EditValueText(edPage));
        PackParameterBlock(FComm->FCmdData, v);
        FComm->FCmdLength = ParameterBlockLength;
        FComm->FCmdCode = cmdSetParameters;
        FComm->FCmdArg = 0;
        RunCommandJob();
    });
}
