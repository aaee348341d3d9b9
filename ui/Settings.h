#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace Ui {
class TFrmSettings;
}

namespace vq {

class ConfigFile;
class IPrompts;
namespace platform {
class Autostart;
}

// The "Settings" dialog. It only edits its controls: the main window fills them, shows the
// dialog and applies what the user confirmed. One instance lives as long as the main window, so
// the controls keep their state between showings.
class TFrmSettings : public QDialog
{
    Q_OBJECT
public:
    TFrmSettings(IPrompts &prompts, platform::Autostart &autostart, QWidget *parent = nullptr);
    ~TFrmSettings() override;

    // Loads the personal site list from the configuration, in file order. Runs once.
    void FormCreate(const ConfigFile &config);
    // Refreshes "start with the session" from the autostart entry. Runs at every showing.
    void FormShow();

    void cbIeSettingsClick();
    void cbProxyClick();
    void btnAddClick();
    void btnDeleteClick();
    void btnMoveUpClick();
    void btnMoveDownClick();
    void ListBox1Click();
    void ListBox1MouseDown(int index);
    // Moves the entry where the drag began (ListBox1MouseDown) to the drop target: a row index,
    // or the number of entries for a drop below the last one.
    void ListBox1DragDrop(int target);

    // The personal sites in list order.
    QStringList Sites() const;

    QListWidget *ListBox1() const;
    QPushButton *btnAdd() const;
    QPushButton *btnDelete() const;
    QToolButton *btnMoveUp() const;
    QToolButton *btnMoveDown() const;
    QCheckBox *cbUseSkin() const;
    QCheckBox *cb3DCharts() const;
    QComboBox *ComboBox2() const; // display unit
    QComboBox *ComboBox1() const; // refresh interval
    QCheckBox *cbStartWithWindows() const;
    QCheckBox *cbCloseMinimize() const;
    QCheckBox *cbIeSettings() const;
    QCheckBox *cbProxy() const;
    QGroupBox *GroupBox1() const;
    QLineEdit *Edit1() const; // proxy server
    QLineEdit *Edit2() const; // proxy port
    QPushButton *BitBtn1() const; // OK
    QPushButton *BitBtn2() const; // Cancel

    // Strips what the add prompt does not keep: a leading "http://" (case-sensitive) and one
    // trailing "/".
    static QString NormaliseNewSite(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void swapWith(int offset);

    std::unique_ptr<Ui::TFrmSettings> ui;
    IPrompts &m_prompts;
    platform::Autostart &m_autostart;
    int m_dragSource = -1;
};

} // namespace vq
