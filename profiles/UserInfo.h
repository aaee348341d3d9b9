#pragma once

#include "ProfileFields.h"
#include "ProfileTypes.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFrmUserInfo;
}

namespace vq {

class IPrompts;
class IProfileLookups;

// "User info": what the first run registers about the user's computer and place. The caller
// fills the display fields, shows it and reads Input() when it closed with OK.
class TFrmUserInfo : public QDialog
{
    Q_OBJECT
public:
    TFrmUserInfo(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent = nullptr);
    ~TFrmUserInfo() override;

    // Fills the display fields and preselects the country with the code.
    void Prefill(const ComputerFacts &facts, const QString &countryCode);

    // OK: checks the required lists and closes with OK, or says what is missing.
    void BitBtn1Click();

    UserInput Input() const;
    int ISPId() const { return Input().profile.ispId; }
    int ConnectionTypeId() const { return Input().profile.connectionTypeId; }

    Ui::TFrmUserInfo *form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TFrmUserInfo> ui;
    ProfileFieldWidgets fields() const;

    IPrompts &m_prompts;
};

} // namespace vq
