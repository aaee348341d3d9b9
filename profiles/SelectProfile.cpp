#include "SelectProfile.h"

#include "ui_SelectProfile.h"

namespace vq {

TFrmSelectProfile::TFrmSelectProfile(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFrmSelectProfile>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui->btnSelect->setEnabled(false);

    connect(ui->lbxProfiles, &QListWidget::itemSelectionChanged, this, &TFrmSelectProfile::lbxProfilesClick);
    connect(ui->lbxProfiles, &QListWidget::itemDoubleClicked, this, &TFrmSelectProfile::btnSelectClick);
    connect(ui->btnSelect, &QPushButton::clicked, this, &TFrmSelectProfile::btnSelectClick);
    connect(ui->btnCreate, &QPushButton::clicked, this, &TFrmSelectProfile::btnCreateClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFrmSelectProfile::~TFrmSelectProfile() = default;

void TFrmSelectProfile::SetHeading(const QString &heading)
{
    ui->Label2->setText(heading);
}

void TFrmSelectProfile::AddNames(const QStringList &names)
{
    ui->lbxProfiles->addItems(names);
    lbxProfilesClick();
}

void TFrmSelectProfile::lbxProfilesClick()
{
    ui->btnSelect->setEnabled(!ui->lbxProfiles->selectedItems().isEmpty());
}

void TFrmSelectProfile::btnSelectClick()
{
    if (!SelectedName().isEmpty())
        accept();
}

void TFrmSelectProfile::btnCreateClick()
{
    done(CreateNew);
}

QString TFrmSelectProfile::SelectedName() const
{
    const QList<QListWidgetItem *> selected = ui->lbxProfiles->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

} // namespace vq
