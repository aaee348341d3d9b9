#include "ProfileInfo.h"

#include "ui_ProfileInfo.h"

#include "LookupCombo.h"
#include "ProfileFields.h"
#include "ProfileRules.h"
#include "Prompts.h"

namespace vq {

TFrmProfileInfo::TFrmProfileInfo(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFrmProfileInfo>())
    , m_prompts(prompts)
{
    ui->setupUi(this);
    // A title bar without a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    FillProfileFields(fields(), lookups);

    connect(ui->btnOk, &QPushButton::clicked, this, &TFrmProfileInfo::btnOkClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &TFrmProfileInfo::reject);
    ui->edtProfileName->setFocus();
}

TFrmProfileInfo::~TFrmProfileInfo() = default;

void TFrmProfileInfo::fillDisplay(const ComputerFacts &facts)
{
    ui->edtMacAddress->setText(facts.macAddress);
    ui->edtMachineName->setText(facts.machineName);
    ui->edtIpAddress->setText(facts.ipAddress);
    ui->edtTimeZone->setText(QString::number(facts.timeZoneBias));
}

void TFrmProfileInfo::PrepareNew(const ComputerFacts &facts, const QStringList &existingNames,
                                 const QString &countryCode)
{
    fillDisplay(facts);
    SelectLookupKey(ui->edtCountry, countryCode);
    m_existingNames = existingNames;
    // Hiding Cancel leaves OK alone between the two stretches: centred.
    ui->btnCancel->hide();
    m_cancelAllowed = false;
    ui->edtProfileName->setFocus();
}

void TFrmProfileInfo::PrepareEdit(const QString &name, const ComputerFacts &facts, const ProfileValues &stored)
{
    ui->edtProfileName->setText(name);
    ui->edtProfileName->setReadOnly(true);
    QPalette face = ui->edtProfileName->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Window));
    ui->edtProfileName->setPalette(face);
    ui->edtProfileNameMark->hide();
    ui->edtISP->setFocus();
    fillDisplay(facts);

    SelectLookupKey(ui->edtISP, stored.ispId);
    const auto exactly = Qt::MatchFixedString | Qt::MatchCaseSensitive;
    ui->edtSatisfaction->setCurrentIndex(ui->edtSatisfaction->findText(stored.satisfaction, exactly));
    SelectLookupKey(ui->edtConnectionType, stored.connectionId);
    ui->edtZipCode->setText(stored.zipCode);
    SelectLookupKey(ui->edtState, stored.state.isEmpty() ? QVariant() : QVariant(stored.state));
    // The country is stored by its name; the list is keyed by code.
    const int country = ui->edtCountry->findText(stored.country, exactly);
    SelectLookupKey(ui->edtCountry, stored.country.isEmpty() || country < 0 ? QVariant()
                                                                            : ui->edtCountry->itemData(country));
    const ContractedSpeed speed = SplitContractedSpeed(stored.speed);
    ui->edtContractedSpeed->setText(speed.number);
    ui->cbxContractedSpeed->setCurrentIndex(ui->cbxContractedSpeed->findText(speed.unit));
}

void TFrmProfileInfo::btnOkClick()
{
    const QString name = ui->edtProfileName->text().trimmed();
    QString problem = ProfileNameProblem(name);
    if (problem.isEmpty() && m_existingNames.contains(name, Qt::CaseInsensitive))
        problem = QStringLiteral("Profile name already exists.\r\nPlease, choose another name");
    if (!problem.isEmpty()) {
        m_prompts.error(problem);
        ui->edtProfileName->setFocus();
        return;
    }
    if (CheckProfileFields(fields(), m_prompts))
        accept();
}

ProfileFieldWidgets TFrmProfileInfo::fields() const
{
    return {ui->edtISP, ui->edtConnectionType, ui->edtState, ui->edtCountry, ui->edtSatisfaction,
            ui->cbxContractedSpeed, ui->edtZipCode, ui->edtContractedSpeed, ui->edtMacAddress, ui->edtIpAddress};
}

void TFrmProfileInfo::reject()
{
    if (m_cancelAllowed)
        QDialog::reject();
}

ProfileInput TFrmProfileInfo::Input() const
{
    ProfileInput p = ReadProfileFields(fields());
    p.name = ui->edtProfileName->text().trimmed();
    return p;
}

} // namespace vq
