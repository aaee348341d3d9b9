#include "UserInfo.h"

#include "ui_UserInfo.h"

#include "LookupCombo.h"
#include "ProfileFields.h"

namespace vq {

TFrmUserInfo::TFrmUserInfo(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFrmUserInfo>())
    , m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    FillProfileFields(fields(), lookups);

    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFrmUserInfo::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    ui->edtManufacturer->setFocus();
}

TFrmUserInfo::~TFrmUserInfo() = default;

void TFrmUserInfo::Prefill(const ComputerFacts &facts, const QString &countryCode)
{
    ui->edtProcessorName->setText(facts.processorName);
    ui->edtProcessorSpeed->setText(facts.processorSpeed);
    ui->edtOSName->setText(facts.osName);
    ui->edtOSVersion->setText(facts.osVersion);
    ui->edtMacAddress->setText(facts.macAddress);
    ui->edtMachineName->setText(facts.machineName);
    ui->edtIpAddress->setText(facts.ipAddress);
    ui->edtTimeZone->setText(QString::number(facts.timeZoneBias));
    SelectLookupKey(ui->edtCountry, countryCode);
}

void TFrmUserInfo::BitBtn1Click()
{
    if (CheckProfileFields(fields(), m_prompts))
        accept();
}

ProfileFieldWidgets TFrmUserInfo::fields() const
{
    return {ui->edtISP, ui->edtConnectionType, ui->edtState, ui->edtCountry, ui->edtSatisfaction,
            ui->cbxContractedSpeed, ui->edtZipCode, ui->edtContractedSpeed, ui->edtMacAddress, ui->edtIpAddress};
}

UserInput TFrmUserInfo::Input() const
{
    UserInput u;
    u.processorName = ui->edtProcessorName->text();
    u.processorSpeed = ui->edtProcessorSpeed->text();
    u.os = ui->edtOSName->text();
    u.osVersion = ui->edtOSVersion->text();
    u.manufacturer = ui->edtManufacturer->text();
    u.model = ui->edtModel->text();
    u.profile = ReadProfileFields(fields());
    return u;
}

} // namespace vq
