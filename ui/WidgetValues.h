#pragma once

#include "TextToInt.h"

#include <QComboBox>
#include <QLineEdit>

// The selected position of a drop-down as the user sees it: text typed over the selection
// names the entry it spells, or none (-1).
inline int SelectedPosition(const QComboBox* combo) {
    const int index = combo->currentIndex();
    const QString text = combo->currentText();
    if (index >= 0 && combo->itemText(index) == text)
        return index;
    // An empty text with nothing selected is no selection, even where an entry is empty.
    if (text.isEmpty())
        return -1;
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

// A masked edit's text as shown, trimmed: text() drops inner blank fills, so "1 34" would
// read as 134.
inline QString EditValueText(const QLineEdit* edit) {
    return TrimCtl(edit->displayText());
}
