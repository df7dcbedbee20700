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
        uint8_t* data = FComm->FCmdData;
        // The rate text is converted untrimmed (leading blanks are skipped by the conversion).
        PutBigEndian32(data, static_cast<uint32_t>(TextToInt(ComboSetBaudRate->currentText())));
        data[4] = CodePageCode(SelectedPosition(ComboCodePage));
        data[5] = static_cast<uint8_t>(SelectedPosition(ComboDensity));
        data[6] = static_cast<uint8_t>(SelectedPosition(ComboFont));
        data[7] = static_cast<uint8_t>(SelectedPosition(comboLineFeed));
        const QLineEdit* edits[] = {edIdle, edOff, edMaxFeed, edPage};
        for (int i = 0; i < 4; ++i)
            PutLittleEndian16(data + 8 + 2 * i,
                              static_cast<uint32_t>(TextToInt(EditValueText(edits[i]))));
        FComm->FCmdLength = 16;
        FComm->FCmdCode = cmdSetParameters;
        FComm->FCmdArg = 0;
        RunCommandJob();
    });
}
