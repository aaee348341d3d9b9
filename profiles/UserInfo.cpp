#include "UserInfo.h"

#include "ui_UserInfo.h"

#include "LookupCombo.h"
#include "ProfileLookups.h"
#include "ProfileRules.h"
#include "Prompts.h"

namespace vq {

TFrmUserInfo::TFrmUserInfo(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFrmUserInfo>())
    , m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    FillLookupCombo(ui->edtISP, lookups.Isps());
    FillLookupCombo(ui->edtConnectionType, lookups.ConnectionTypes());
    FillLookupCombo(ui->edtState, lookups.States());
    FillLookupCombo(ui->edtCountry, lookups.Countries());
    ui->edtSatisfaction->setCurrentIndex(-1);
    ui->cbxContractedSpeed->setCurrentIndex(0); // Kbps

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
    if (ui->edtISP->currentText().isEmpty()) {
        m_prompts.error(QStringLiteral("Please, fill the ISP name"));
        ui->edtISP->setFocus();
        return;
    }
    if (ui->edtConnectionType->currentText().isEmpty()) {
        m_prompts.error(QStringLiteral("Please, fill the Connection type"));
        ui->edtConnectionType->setFocus();
        return;
    }
    if (ui->edtCountry->currentText().isEmpty()) {
        m_prompts.error(QStringLiteral("Please, fill the Country name"));
        ui->edtCountry->setFocus();
        return;
    }
    m_ispId = SelectedLookupKey(ui->edtISP).toInt();
    m_connectionTypeId = SelectedLookupKey(ui->edtConnectionType).toInt();
    accept();
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
    ProfileInput &p = u.profile;
    p.macAddress = ui->edtMacAddress->text();
    p.ipAddress = ui->edtIpAddress->text();
    p.ispId = m_ispId;
    p.zipCode = ui->edtZipCode->text().trimmed();
    p.state = ui->edtState->currentText();
    p.country = ui->edtCountry->currentText();
    p.satisfaction = ui->edtSatisfaction->currentText();
    p.contractedSpeed = ContractedSpeedText(ui->edtContractedSpeed->text(), ui->cbxContractedSpeed->currentText());
    p.connectionTypeId = m_connectionTypeId;
    return u;
}

} // namespace vq
