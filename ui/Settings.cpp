#include "Settings.h"

#include "ui_Settings.h"

#include "Autostart.h"
#include "ConfigFile.h"
#include "Prompts.h"

#include <QShowEvent>

namespace vq {

TFrmSettings::TFrmSettings(IPrompts &prompts, platform::Autostart &autostart, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFrmSettings>())
    , m_prompts(prompts)
    , m_autostart(autostart)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border
    BitBtn1()->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2()->setObjectName(QStringLiteral("BitBtn2"));

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->cbIeSettings, &QCheckBox::clicked, this, &TFrmSettings::cbIeSettingsClick);
    connect(ui->cbProxy, &QCheckBox::clicked, this, &TFrmSettings::cbProxyClick);
    connect(ui->btnAdd, &QPushButton::clicked, this, &TFrmSettings::btnAddClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TFrmSettings::btnDeleteClick);
    connect(ui->btnMoveUp, &QToolButton::clicked, this, &TFrmSettings::btnMoveUpClick);
    connect(ui->btnMoveDown, &QToolButton::clicked, this, &TFrmSettings::btnMoveDownClick);
    connect(ui->ListBox1, &QListWidget::itemSelectionChanged, this, &TFrmSettings::ListBox1Click);
    connect(ui->ListBox1, &SiteListBox::mouseDownAt, this, &TFrmSettings::ListBox1MouseDown);
    connect(ui->ListBox1, &SiteListBox::droppedAt, this, &TFrmSettings::ListBox1DragDrop);
}

TFrmSettings::~TFrmSettings() = default;

void TFrmSettings::FormCreate(const ConfigFile &config)
{
    ui->ListBox1->clear();
    ui->ListBox1->addItems(config.ReadSection(QLatin1String(cfg::section::LocalSites)));
    ListBox1Click();
}

void TFrmSettings::FormShow()
{
    ui->cbStartWithWindows->setChecked(m_autostart.isEnabled());
}

void TFrmSettings::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFrmSettings::cbIeSettingsClick()
{
    ui->cbProxy->setEnabled(!ui->cbIeSettings->isChecked());
    ui->GroupBox1->setEnabled(ui->cbProxy->isEnabled() && ui->cbProxy->isChecked());
}

void TFrmSettings::cbProxyClick()
{
    ui->GroupBox1->setEnabled(ui->cbProxy->isChecked());
}

QString TFrmSettings::NormaliseNewSite(const QString &text)
{
    QString site = text;
    if (site.startsWith(QLatin1String("http://"), Qt::CaseSensitive))
        site.remove(0, 7);
    if (site.endsWith(u'/'))
        site.chop(1);
    return site;
}

void TFrmSettings::btnAddClick()
{
    const std::optional<QString> answer =
        m_prompts.inputBox(QStringLiteral("New site"), QStringLiteral("Enter new site:"), QString());
    if (!answer || answer->isEmpty())
        return;
    const QString site = NormaliseNewSite(*answer).trimmed();
    // "http://" alone leaves nothing to test: such an entry is not added.
    if (site.isEmpty())
        return;
    ui->ListBox1->addItem(site);
    ListBox1Click();
}

void TFrmSettings::btnDeleteClick()
{
    const int i = ui->ListBox1->currentRow();
    if (i < 0 || !ui->ListBox1->currentItem()->isSelected())
        return;
    const QString entry = ui->ListBox1->item(i)->text();
    if (m_prompts.messageBox(QStringLiteral("Confirm"), QStringLiteral("Confirm delete of ") + entry + QStringLiteral("?"),
                             MsgIcon::Question, MsgButton::Yes | MsgButton::No, MsgButton::Yes)
        != MsgButton::Yes)
        return;
    delete ui->ListBox1->takeItem(i);
    ui->ListBox1->clearSelection();
    ListBox1Click();
}

void TFrmSettings::swapWith(int offset)
{
    QListWidget *list = ui->ListBox1;
    const int i = list->currentRow();
    if (i < 0 || !list->currentItem()->isSelected())
        return;
    const int j = i + offset;
    if (j < 0 || j >= list->count())
        return;
    QListWidgetItem *moved = list->takeItem(i);
    list->insertItem(j, moved);
    list->setCurrentRow(j);
    ListBox1Click();
}

void TFrmSettings::btnMoveUpClick()
{
    swapWith(-1);
}

void TFrmSettings::btnMoveDownClick()
{
    swapWith(+1);
}

void TFrmSettings::ListBox1Click()
{
    const QListWidget *list = ui->ListBox1;
    const int n = list->count();
    const int i = (list->currentItem() && list->currentItem()->isSelected()) ? list->currentRow() : -1;
    ui->btnMoveUp->setEnabled(i > 0);
    ui->btnMoveDown->setEnabled(i >= 0 && i < n - 1);
    ui->btnDelete->setEnabled(i >= 0);
}

void TFrmSettings::ListBox1MouseDown(int index)
{
    m_dragSource = index;
}

void TFrmSettings::ListBox1DragDrop(int target)
{
    QListWidget *list = ui->ListBox1;
    const int n = list->count();
    const int s = m_dragSource;
    if (n == 1 || s < 0 || s >= n || target < 0 || target > n)
        return;
    const QString text = list->item(s)->text();
    int selected = target;
    if (target < s) {
        list->insertItem(target, text);
        delete list->takeItem(s + 1);
    } else if (target < n) {
        list->insertItem(target + 1, text);
        delete list->takeItem(s);
    } else {
        list->addItem(text);
        delete list->takeItem(s);
        selected = n - 1;
    }
    list->setCurrentRow(selected);
    ListBox1Click();
}

QStringList TFrmSettings::Sites() const
{
    QStringList sites;
    for (int i = 0; i < ui->ListBox1->count(); ++i)
        sites.append(ui->ListBox1->item(i)->text());
    return sites;
}

QListWidget *TFrmSettings::ListBox1() const { return ui->ListBox1; }
QPushButton *TFrmSettings::btnAdd() const { return ui->btnAdd; }
QPushButton *TFrmSettings::btnDelete() const { return ui->btnDelete; }
QToolButton *TFrmSettings::btnMoveUp() const { return ui->btnMoveUp; }
QToolButton *TFrmSettings::btnMoveDown() const { return ui->btnMoveDown; }
QCheckBox *TFrmSettings::cbUseSkin() const { return ui->cbUseSkin; }
QCheckBox *TFrmSettings::cb3DCharts() const { return ui->cb3DCharts; }
QComboBox *TFrmSettings::ComboBox2() const { return ui->ComboBox2; }
QComboBox *TFrmSettings::ComboBox1() const { return ui->ComboBox1; }
QCheckBox *TFrmSettings::cbStartWithWindows() const { return ui->cbStartWithWindows; }
QCheckBox *TFrmSettings::cbCloseMinimize() const { return ui->cbCloseMinimize; }
QCheckBox *TFrmSettings::cbIeSettings() const { return ui->cbIeSettings; }
QCheckBox *TFrmSettings::cbProxy() const { return ui->cbProxy; }
QGroupBox *TFrmSettings::GroupBox1() const { return ui->GroupBox1; }
QLineEdit *TFrmSettings::Edit1() const { return ui->Edit1; }
QLineEdit *TFrmSettings::Edit2() const { return ui->Edit2; }
QPushButton *TFrmSettings::BitBtn1() const { return ui->buttonBox->button(QDialogButtonBox::Ok); }
QPushButton *TFrmSettings::BitBtn2() const { return ui->buttonBox->button(QDialogButtonBox::Cancel); }

} // namespace vq
