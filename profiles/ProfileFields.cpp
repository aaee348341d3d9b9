#include "ProfileFields.h"

#include "LookupCombo.h"
#include "ProfileLookups.h"
#include "ProfileRules.h"
#include "Prompts.h"

#include <QComboBox>
#include <QLineEdit>

namespace vq {

void FillProfileFields(const ProfileFieldWidgets &w, const IProfileLookups &lookups)
{
    FillLookupCombo(w.isp, lookups.Isps());
    FillLookupCombo(w.connectionType, lookups.ConnectionTypes());
    FillLookupCombo(w.state, lookups.States());
    FillLookupCombo(w.country, lookups.Countries());
    w.satisfaction->setCurrentIndex(-1);
    w.speedUnit->setCurrentIndex(0); // Kbps
}

bool CheckProfileFields(const ProfileFieldWidgets &w, IPrompts &prompts)
{
    const struct {
        QComboBox *list;
        const char *message;
    } required[] = {
        {w.isp, "Please, fill the ISP name"},
        {w.connectionType, "Please, fill the Connection type"},
        {w.country, "Please, fill the Country name"},
    };
    for (const auto &r : required) {
        if (r.list->currentText().isEmpty()) {
            prompts.error(QString::fromLatin1(r.message));
            r.list->setFocus();
            return false;
        }
    }
    return true;
}

namespace {
int keyOrNone(const QComboBox *list)
{
    const QVariant key = SelectedLookupKey(list);
    return key.isValid() ? key.toInt() : -1;
}
} // namespace

ProfileInput ReadProfileFields(const ProfileFieldWidgets &w)
{
    ProfileInput p;
    p.macAddress = w.macAddress->text();
    p.ipAddress = w.ipAddress->text();
    p.ispId = keyOrNone(w.isp);
    p.zipCode = w.zipCode->text().trimmed();
    p.state = w.state->currentText();
    p.country = w.country->currentText();
    p.satisfaction = w.satisfaction->currentText();
    p.contractedSpeed = ContractedSpeedText(w.contractedSpeed->text(), w.speedUnit->currentText());
    p.connectionTypeId = keyOrNone(w.connectionType);
    return p;
}

} // namespace vq
