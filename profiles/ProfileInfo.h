#pragma once

#include "ProfileFields.h"
#include "ProfileTypes.h"

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class TFrmProfileInfo;
}

namespace vq {

class IPrompts;
class IProfileLookups;

// "Profile information": the editor of one profile, for a new profile (it cannot be cancelled
// and refuses the names that exist already) or for the active one (its name cannot change).
class TFrmProfileInfo : public QDialog
{
    Q_OBJECT
public:
    TFrmProfileInfo(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent = nullptr);
    ~TFrmProfileInfo() override;

    // The "new profile" mode: display fields, the country with the code, the existing names;
    // no Cancel, OK centred.
    void PrepareNew(const ComputerFacts &facts, const QStringList &existingNames,
                    const QString &countryCode = QLatin1String(kDefaultCountryCode));
    // The "edit" mode: the name fixed, the fields preselected from the stored values.
    void PrepareEdit(const QString &name, const ComputerFacts &facts, const ProfileValues &stored);

    // OK: checks the name and the required lists and closes with OK, or says what is wrong.
    void btnOkClick();

    // The new mode has no way out but OK.
    void reject() override;

    ProfileInput Input() const;
    // Existing profile names, compared without regard to case.
    const QStringList &ExistingNames() const { return m_existingNames; }
    bool CancelAllowed() const { return m_cancelAllowed; }

    Ui::TFrmProfileInfo *form() const { return ui.get(); }

private:
    void fillDisplay(const ComputerFacts &facts);
    ProfileFieldWidgets fields() const;

    std::unique_ptr<Ui::TFrmProfileInfo> ui;
    IPrompts &m_prompts;
    QStringList m_existingNames;
    bool m_cancelAllowed = true;
};

} // namespace vq
