#pragma once

#include "ProfileTypes.h"

#include <QList>

class QComboBox;

namespace vq {

// A drop-down list of the profile dialogs filled from lookup rows: the rows' texts in order, each
// carrying its key; nothing selected.
void FillLookupCombo(QComboBox *combo, const QList<LookupRow> &rows);

// Selects the entry with the key; none when no entry has it.
void SelectLookupKey(QComboBox *combo, const QVariant &key);

// The key of the selected entry; an invalid value when none is selected.
QVariant SelectedLookupKey(const QComboBox *combo);

} // namespace vq
