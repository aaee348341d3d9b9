#include "LookupCombo.h"

#include <QComboBox>

namespace vq {

void FillLookupCombo(QComboBox *combo, const QList<LookupRow> &rows)
{
    combo->clear();
    for (const LookupRow &row : rows)
        combo->addItem(row.text, row.key);
    combo->setCurrentIndex(-1);
}

void SelectLookupKey(QComboBox *combo, const QVariant &key)
{
    combo->setCurrentIndex(key.isValid() ? combo->findData(key) : -1);
}

QVariant SelectedLookupKey(const QComboBox *combo)
{
    return combo->currentIndex() < 0 ? QVariant() : combo->currentData();
}

} // namespace vq
