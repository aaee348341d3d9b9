#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class TFrmSelectProfile;
}

namespace vq {

// "Select profile": the profiles that fit the new network, to pick one or to make a new one.
// Closes with Accepted for "Select", CreateNew for "Create new", Rejected for "Cancel".
class TFrmSelectProfile : public QDialog
{
    Q_OBJECT
public:
    enum { CreateNew = 2 };

    explicit TFrmSelectProfile(QWidget *parent = nullptr);
    ~TFrmSelectProfile() override;

    void SetHeading(const QString &heading);
    void AddNames(const QStringList &names);
    // "Select" is enabled exactly when an entry is selected.
    void lbxProfilesClick();
    void btnSelectClick();
    void btnCreateClick();

    // The selected entry's name; empty when none is selected.
    QString SelectedName() const;

    Ui::TFrmSelectProfile *form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TFrmSelectProfile> ui;
};

} // namespace vq
