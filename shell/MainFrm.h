#pragma once

#include "NetworkAdapters.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class TMainFrm;
}

namespace vq {

class ConfigFile;
class DataModuleLookups;
class IProfileDialogs;
class IProfileLookups;
class IPrompts;
class Service1Soap;
class SoapProfileService;
class TFrmSettings;
class THTTPRIO;
class TdmMain;
class TKeloMeter;
class TTestRunner;
class UserProfiles;
class WidgetProfileDialogs;
struct TStandardRunResult;
namespace platform {
class Autostart;
class ComputerInfo;
class TrayIcon;
} // namespace platform

// The main window: a view over the program's state and the hub that the test runner, the
// service client, the comparisons and the diagnostics report into.
class TMainFrm : public QMainWindow
{
    Q_OBJECT
public:
    // Page indexes of PageControl1 (also the Tag of the View menu items).
    enum Page { tsGlobal, tsLocal, tsQuickCompare, tsPeriod, tsCurrent, tsPing, tsSysInfo, TabSheet3 };
    // The system commands the window distinguishes.
    enum class SysCommand { Minimize, Close, Other };

    // dmMain: the data module, created before the window. configFileName: the configuration
    // file; empty means ConfigFileName().
    TMainFrm(IPrompts &prompts, platform::Autostart &autostart, TdmMain &dmMain,
             const QString &configFileName = QString(), QWidget *parent = nullptr);
    ~TMainFrm() override;

    // The start-up sequence. Returns false when the program has to end without showing its
    // window. startHidden is the start switch: the window stays hidden in the tray.
    bool FormCreate(bool startHidden);
    // Each time the window becomes visible.
    void FormShow();
    // Shut-down: writes the window placement and the settings that are kept on exit.
    void FormDestroy();

    // What the start-up uses besides the service; each may be set before FormCreate (tests pass
    // their own). The profile dialogs default to the program's modal dialogs, the computer to
    // this one, the reverse lookup of the profile messages to HostNameOfAddress.
    void setProfileDialogs(IProfileDialogs *dialogs);
    void setComputerInfo(const platform::ComputerInfo *computer);
    void setHostNameLookup(std::function<QString(const QString &)> lookup);
    // Registration, the profile records and the profile check; exists from FormCreate on.
    UserProfiles *Profiles() const { return m_profiles.get(); }

    // Whether the active profile fits the current external address, possibly after the user
    // chose or made another one. False when the service could not be reached, or the user
    // refused to choose a profile (the program is then ending). A fault that the service
    // reports passes through (ERemotableException).
    bool CheckProfile();
    // "Edit profile...": the active profile in the profile editor, stored on OK.
    void Editprofile1Click();
    // The result upload of a standard run that reached its last row, and the hand-over of its
    // speed to "Quick compare". A failure of the service ends the upload with an exception
    // that StartRun reports once the run has ended.
    void UploadResults(const TStandardRunResult &result);
    // "Get data" of "Quick compare": the average of the others chosen by ComboBox3 and
    // ComboBox4, on KeloMeter4 and Label23.
    void Button5Click();

    // Minimize always hides to the tray; Close hides only with "CloseMinimize", else ends.
    void WMSysCommand(SysCommand command);

    void Open1Click();
    void Refresh1Click();
    void Exit1Click();
    void Exit2Click();
    void ViewPageClick(int tag);
    void PageControl1Change();
    void Timer1Timer();
    void Preferences1Click();
    // The two halves of Preferences1Click around the modal dialog: fill the controls that
    // follow the running program, and apply what the user confirmed.
    void PreparePreferences();
    void ApplyPreferences();

    void SetRefreshInterval(int index);
    void FillStandardList();
    // Rebuilds the personal list from the preferences' sites. Asked for during a run, the
    // rebuild is deferred to the run's end (see the definition).
    void FillPersonalList();

    // The test pages. Button1Click handles "Start tests"/"Stop tests" of both pages.
    void Button1Click(QPushButton *Sender);
    // Starts a run (a standard run when automatic); does nothing while a run is in progress.
    void StartRun(bool automatic);
    // Tests one row of the running list (the runner does the work).
    void TestSite(int row);
    // Shows a row's figures while its site downloads.
    void HttpCli1DocData(int row, qint64 bytes, qint64 elapsedMs);
    // The download inactivity watchdog.
    void Timer3Timer();
    // Switches every speed display to the unit of FMultiplier.
    void ApplyUnits();
    // A speed label (its "Tag" property holds whole bytes per second) and its dial; ApplyUnits
    // redraws every registered pair, in the order of registration.
    void RegisterSpeedDisplay(QLabel *label, TKeloMeter *dial);
    static qint64 Tag(const QObject *label);
    static void SetTag(QObject *label, qint64 value);
    // The runner shared with the headless program; its hooks take the standard run's service
    // steps.
    TTestRunner *Runner() const { return m_runner; }
    void UpdateChartLineWidths();
    void LoadProxyFromIE();
    void LoadProxyFromConfig(const ConfigFile &config);
    void SetSkinActive(bool active);
    bool SkinActive() const { return m_skinActive; }

    // The response hook of the service client: turns a table response into its dataset and
    // cache file by FPendingRequest, runs the table's follow-up, and always leaves 6.
    void HTTPRIO1AfterExecute(const QString &methodName, const QByteArray &response);

    // Splits a proxy server value ("http=host:port;ftp=...") into the server and port of its
    // "http" entry.
    static std::pair<QString, QString> SplitIEProxy(const QString &proxyServer);
    // The start switch: the first parameter begins with "-" or "/" followed by "m" or "M".
    static bool HasStartSwitch(const QStringList &arguments);
    // Window bounds for the "Position" section, with the centred defaults.
    static QRect Placement(const ConfigFile &config, const QSize &screen);

    QString configFileName() const { return m_configFileName; }
    QString dataFolder() const;
    bool endingProgram() const { return m_exitRequested; }

    // Components.
    QTimer *Timer1 = nullptr; // periodic standard test
    QTimer *Timer2 = nullptr; // ping monitor
    QTimer *Timer3 = nullptr; // download inactivity watchdog
    platform::TrayIcon *TrayIcon1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    TFrmSettings *FrmSettings = nullptr; // the preferences dialog, created at start-up
    std::shared_ptr<THTTPRIO> HTTPRIO1;  // the service client's transport, created at start-up
    TdmMain &dmMain;
    Ui::TMainFrm *form() const { return ui.get(); }

    // State shared with the rest of the program, in the order of the program's design.
    QString FExternalAddress;
    QString FExternalHostName;
    bool FWhoisStarted = false;
    // FCurrentRow, FSiteBytes, FStartTick, FStopRequested, FSiteTime, FTestKind and FTimedOut
    // live in the runner (Runner()), which the headless program shares.
    std::uint8_t FPendingRequest = 6;
    int FUserId = -1;
    int FTimeZoneBias = 0;
    platform::TAdaptorRows FAdapters;
    int FProfileId = -1;
    std::unique_ptr<Service1Soap> FService;
    int FMultiplier = 0;
    QString FUnitName;
    double FUnitDivisor = 1024.0;
    double FLastStandardSpeed = 0.0;
    QString FProfileAddress;
    QString FMacAddress;
    bool FCloseMinimize = false;
    bool FUseWinInet = false;
    int FParsingMethod = 2;

    // The proxy that the built-in HTTP client uses (empty host: none).
    QString FHttpProxyHost;
    QString FHttpProxyPort;
    // Whether the comparison charts are drawn three-dimensional.
    bool FCharts3D = true;

Q_SIGNALS:
    // A standard run is due (periodic timer, or showing the window with "RefreshInterval" 5);
    // automatic is true for those.
    void runRequested(bool automatic);
    // The window was closed for good: the program ends.
    void closed();
    // A table reached its dataset (from the service or, for the ISPs, from the cache): the
    // comparison pages refill their lists and charts from it.
    void ispTableLoaded();
    void periodTableLoaded();
    void myVeloquaTableLoaded();
    void currentTableLoaded();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool refreshReferenceData(ConfigFile &config);
    bool userAndProfile();
    bool standardRunGate();
    void startGatedRun(bool personal);
    void terminateProgram();
    const platform::ComputerInfo &computer() const;
    bool periodComparesConnectionTypes() const;
    bool currentComparesIsps() const;
    QStringList personalCaptions() const;
    void showRowFigures(int row, qint64 bytes, qint64 milliseconds, bool final);
    void createTrayMenu();
    void connectMenus();
    void setRowDefaults(QTreeWidgetItem *row);
    QTreeWidgetItem *addSiteRow(QTreeWidget *list, const QString &caption);
    void connectRunner();
    void onRowFinished(int row, qint64 bytes, qint64 milliseconds);
    void onTotalsChanged(qint64 totalBytes, qint64 totalMilliseconds);
    void endRun();

    std::unique_ptr<Ui::TMainFrm> ui;
    IPrompts &m_prompts;
    platform::Autostart &m_autostart;
    QString m_configFileName;
    QString m_helpFile;
    bool m_exitRequested = false;
    bool m_closeByCommand = false;
    bool m_skinActive = false;

    TTestRunner *m_runner = nullptr;
    QList<QPair<QLabel *, TKeloMeter *>> m_speedDisplays;

    std::unique_ptr<DataModuleLookups> m_lookups;
    std::unique_ptr<WidgetProfileDialogs> m_widgetDialogs;
    IProfileDialogs *m_dialogs = nullptr;
    std::unique_ptr<platform::ComputerInfo> m_ownComputer;
    const platform::ComputerInfo *m_computer = nullptr;
    std::function<QString(const QString &)> m_hostNameLookup;
    std::unique_ptr<SoapProfileService> m_profileService;
    std::unique_ptr<UserProfiles> m_profiles;
    bool m_gateServiceFailed = false; // the last profile gate could not ask the service
    bool m_startingRun = false;
    bool m_personalListPending = false; // a rebuild asked for during a run
    bool m_runStarted = false;
    QTreeWidget *m_runList = nullptr; // the running page's list, button, labels and dial
    QPushButton *m_runButton = nullptr;
    QLabel *m_runBytesLabel = nullptr;
    QLabel *m_runTimeLabel = nullptr;
    QLabel *m_runSpeedLabel = nullptr;
    TKeloMeter *m_runDial = nullptr;
};

} // namespace vq
