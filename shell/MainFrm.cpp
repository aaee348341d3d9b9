#include "MainFrm.h"

#include "ui_MainFrm.h"

#include "AppPaths.h"
#include "Autostart.h"
#include "ComputerInfo.h"
#include "ConfigFile.h"
#include "DataModuleLookups.h"
#include "DateTimeText.h"
#include "Debugger.h"
#include "KeloMeter.h"
#include "MainModule.h"
#include "Prompts.h"
#include "QuickCompare.h"
#include "ResultUpload.h"
#include "Settings.h"
#include "SoapProfileService.h"
#include "SpeedUnits.h"
#include "SystemProxy.h"
#include "TestRunner.h"
#include "TimeZoneInfo.h"
#include "TrayIcon.h"
#include "UserProfiles.h"
#include "WidgetProfileDialogs.h"
#include "wsVeloqua.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>

namespace vq {

namespace {

constexpr int kDesignInterval = 60000;   // Timer1 and Timer2 as designed
constexpr int kWatchdogInterval = 5000;  // Timer3

// Refresh index -> Timer1 interval; indexes 4 and 5 leave the timer off.
constexpr int kRefreshIntervals[] = {3600000, 10800000, 21600000, 86400000};

struct PageInfo {
    const char *caption;
    int helpContext; // 0: none
};
constexpr PageInfo kPages[] = {
    {"Standard tests", 300}, {"Personal tests", 400},     {"Quick compare", 500}, {"Period comparisons", 500},
    {"Current comparisons", 500}, {"Ping", 600}, {"System Information", 700}, {"TabSheet3", 0},
};

// Hidden columns of the site lists: raw bytes and raw milliseconds.
constexpr int kRawBytesColumn = 4;
constexpr int kRawMsColumn = 5;
constexpr int kBytesColumn = 1;
constexpr int kTimeColumn = 2;
constexpr int kSpeedColumn = 3;

const QString kStartTests = QStringLiteral("Start tests");
const QString kStopTests = QStringLiteral("Stop tests");

// The dials of the test pages as the window shows them.
void SetUpDial(TKeloMeter *dial)
{
    dial->setFixedSize(185, 169);
    dial->setMaxValue(100.0);
    dial->setShowValues(true);
    dial->setCaption(QStringLiteral("KB/s"));
    QFont font = dial->font();
    font.setPixelSize(11);
    font.setBold(true);
    dial->setFont(font);
}


// The service failed during the upload of a standard run; reported once the run has ended.
class EResultUploadFailed : public Error
{
public:
    using Error::Error;
};

const QString kRunServiceError = QStringLiteral("Error connecting to the server.");
const QString kCompareServiceError = QStringLiteral("Error connecting to server.");

} // namespace

TMainFrm::TMainFrm(IPrompts &prompts, platform::Autostart &autostart, TdmMain &dmMain,
                   const QString &configFileName, QWidget *parent)
    : QMainWindow(parent)
    , dmMain(dmMain)
    , ui(std::make_unique<Ui::TMainFrm>())
    , m_prompts(prompts)
    , m_autostart(autostart)
    , m_configFileName(configFileName.isEmpty() ? ConfigFileName() : configFileName)
{
    ui->setupUi(this);
    for (int i = 0; i < ui->PageControl1->count(); ++i)
        ui->PageControl1->widget(i)->setProperty("helpContext", kPages[i].helpContext);
    ui->PageControl1->setTabVisible(TabSheet3, false);

    for (QTreeWidget *list : {ui->ListView1, ui->ListView2}) {
        list->setColumnWidth(0, 200);
        list->setColumnWidth(1, 70);
        list->setColumnWidth(2, 70);
        list->setColumnWidth(3, 74);
        list->hideColumn(kRawBytesColumn);
        list->hideColumn(kRawMsColumn);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kDesignInterval);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kDesignInterval);
    Timer2->start();
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(kWatchdogInterval);
    connect(Timer1, &QTimer::timeout, this, &TMainFrm::Timer1Timer);
    connect(Timer3, &QTimer::timeout, this, &TMainFrm::Timer3Timer);
    m_runner = new TTestRunner(this, Timer3);
    m_runner->setObjectName(QStringLiteral("HttpCli1"));
    connectRunner();

    m_runner->setStandardRunGate([this] { return standardRunGate(); });
    m_runner->setStandardRunCompleted([this](const TStandardRunResult &result) { UploadResults(result); });

    for (TKeloMeter *dial : {ui->KeloMeter1, ui->KeloMeter2, ui->KeloMeter3, ui->KeloMeter4})
        SetUpDial(dial);
    // The totals keep their width as the figures grow (a run's bytes, a date and time).
    for (QLabel *value : {ui->Label4, ui->Label5, ui->Label6, ui->Label32, ui->Label10, ui->Label11, ui->Label12, ui->Label34}) {
        const QFontMetrics fm = value->fontMetrics();
        value->setMinimumWidth(std::max({fm.horizontalAdvance(QStringLiteral("0,000,000,000 Bytes")),
                                         fm.horizontalAdvance(QStringLiteral("00,000.00 Mbps")),
                                         fm.horizontalAdvance(DateTimeToStr(QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59))))}));
    }
    RegisterSpeedDisplay(ui->Label6, ui->KeloMeter1);
    RegisterSpeedDisplay(ui->Label12, ui->KeloMeter2);
    RegisterSpeedDisplay(ui->Label22, ui->KeloMeter3);
    RegisterSpeedDisplay(ui->Label23, ui->KeloMeter4);
    for (QLabel *label : {ui->Label6, ui->Label12, ui->Label22, ui->Label23})
        SetTag(label, 0);
    for (const TQuickCompareChoice &area : QuickCompareAreas())
        ui->ComboBox3->addItem(area.text);
    for (const TQuickCompareChoice &period : QuickComparePeriods())
        ui->ComboBox4->addItem(period.text);
    ui->ComboBox3->setCurrentIndex(0);
    ui->ComboBox4->setCurrentIndex(0);

    m_lookups = std::make_unique<DataModuleLookups>(dmMain);
    m_widgetDialogs = std::make_unique<WidgetProfileDialogs>(m_prompts, *m_lookups, this);
    m_dialogs = m_widgetDialogs.get();
    m_ownComputer = std::make_unique<platform::LinuxComputerInfo>();
    m_computer = m_ownComputer.get();

    TrayIcon1 = new platform::TrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setImages(platform::DefaultTrayImages());
    TrayIcon1->setHint(QStringLiteral("Refreshing data"));
    createTrayMenu();
    connect(TrayIcon1, &platform::TrayIcon::doubleClicked, this, &TMainFrm::Open1Click);

    connectMenus();
}

TMainFrm::~TMainFrm() = default;

void TMainFrm::createTrayMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ui->Open1);
    PopupMenu1->addAction(ui->Refresh1);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ui->Exit1);
    QFont bold = ui->Open1->font();
    bold.setBold(true); // the default item
    ui->Open1->setFont(bold);
    PopupMenu1->setDefaultAction(ui->Open1);
    TrayIcon1->setMenu(PopupMenu1);
}

void TMainFrm::connectMenus()
{
    connect(ui->Open1, &QAction::triggered, this, &TMainFrm::Open1Click);
    connect(ui->Refresh1, &QAction::triggered, this, &TMainFrm::Refresh1Click);
    connect(ui->Exit1, &QAction::triggered, this, &TMainFrm::Exit1Click);
    connect(ui->Exit2, &QAction::triggered, this, &TMainFrm::Exit2Click);
    connect(ui->Preferences1, &QAction::triggered, this, &TMainFrm::Preferences1Click);
    connect(ui->Editprofile1, &QAction::triggered, this, &TMainFrm::Editprofile1Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TMainFrm::Button5Click);
    connect(ui->Button7, &QPushButton::clicked, this, &TMainFrm::Preferences1Click);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(ui->Button1); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { Button1Click(ui->Button2); });
    // Queued: a run asked for while the window is being shown starts once it is on screen.
    connect(this, &TMainFrm::runRequested, this, &TMainFrm::StartRun, Qt::QueuedConnection);
    for (QAction *view : {ui->Standardtests1, ui->Personaltests1, ui->Quickcompare1, ui->Periodcomparisons1,
                          ui->Currentcomparisons1, ui->Ping1, ui->Systeminformation1}) {
        connect(view, &QAction::triggered, this, [this, view] { ViewPageClick(view->property("tag").toInt()); });
    }
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TMainFrm::PageControl1Change);
}

QString TMainFrm::dataFolder() const
{
    return QFileInfo(m_configFileName).absolutePath();
}

bool TMainFrm::HasStartSwitch(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return false;
    const QString &first = arguments.constFirst();
    return first.size() >= 2 && (first.at(0) == u'-' || first.at(0) == u'/')
           && (first.at(1) == u'm' || first.at(1) == u'M');
}

std::pair<QString, QString> TMainFrm::SplitIEProxy(const QString &proxyServer)
{
    // Entries are separated by ";" or blanks; each is name=value.
    QString http;
    const QStringList entries = proxyServer.split(QRegularExpression(QStringLiteral("[;\\s]")), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq >= 0 && entry.left(eq).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0) {
            http = entry.mid(eq + 1);
            break;
        }
    }
    const qsizetype scheme = http.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        http = http.mid(scheme + 3);
    const qsizetype colon = http.indexOf(u':');
    if (colon < 0)
        return {http, QString()};
    return {http.left(colon), http.mid(colon + 1)};
}

void TMainFrm::LoadProxyFromIE()
{
    const platform::SystemProxySettings system = platform::ReadSystemProxy();
    if (system.enableExists)
        FrmSettings->cbProxy()->setChecked(system.enabled);
    if (system.serverExists) {
        const auto [server, port] = SplitIEProxy(system.server);
        FrmSettings->Edit1()->setText(server);
        FrmSettings->Edit2()->setText(port);
    }
    FrmSettings->cbProxyClick();
}

void TMainFrm::LoadProxyFromConfig(const ConfigFile &config)
{
    FrmSettings->Edit1()->setText(config.Read(cfg::ProxyServer));
    FrmSettings->Edit2()->setText(config.Read(cfg::ProxyPort));
    FrmSettings->cbProxy()->setChecked(config.Read(cfg::ProxyEnabled));
    FrmSettings->cbProxyClick();
}

QRect TMainFrm::Placement(const ConfigFile &config, const QSize &screen)
{
    const int width = config.Read(cfg::Width);
    const int height = config.Read(cfg::Height);
    const int left = config.Read(cfg::Left, (screen.width() - width) / 2);
    const int top = config.Read(cfg::Top, (screen.height() - height) / 2);
    return QRect(left, top, width, height);
}

bool TMainFrm::FormCreate(bool startHidden)
{
    // The developer page shows its tab only under a debugger.
    ui->PageControl1->setTabVisible(TabSheet3, platform::IsDebuggerPresent());
    m_helpFile = platform::ProgramFolder() + QStringLiteral("/help/index.html");

    // The time-zone bias of today (daylight saving applied) and the network adapters.
    FTimeZoneBias = platform::SystemTimeZoneBias();
    FAdapters = platform::LinuxNetworkAdapters().Adapters();
    FMacAddress = platform::FirstAdapterMacAddress(FAdapters);

    FrmSettings = new TFrmSettings(m_prompts, m_autostart, this);
    FrmSettings->setObjectName(QStringLiteral("FrmSettings"));

    ConfigFile config(m_configFileName);
    FrmSettings->FormCreate(config);

    FUseWinInet = config.Read(cfg::UseWinInet);
    FParsingMethod = config.Read(cfg::ParsingMethod);
    FrmSettings->cbIeSettings()->setChecked(FUseWinInet);
    FrmSettings->cbIeSettingsClick();

    // The proxy: copied once from the system, afterwards from our own file only.
    if (!config.Read(cfg::ProxyLoaded)) {
        LoadProxyFromIE();
        config.Write(cfg::ProxyServer, FrmSettings->Edit1()->text());
        config.Write(cfg::ProxyPort, FrmSettings->Edit2()->text());
        config.Write(cfg::ProxyEnabled, FrmSettings->cbProxy()->isChecked());
        config.Write(cfg::ProxyLoaded, true);
    } else {
        LoadProxyFromConfig(config);
    }
    if (FrmSettings->cbProxy()->isChecked()) {
        FHttpProxyHost = FrmSettings->Edit1()->text();
        FHttpProxyPort = FrmSettings->Edit2()->text();
    }

    // The service client, its response hook, the external address and the reference data.
    FExternalAddress.clear();
    HTTPRIO1 = std::make_shared<THTTPRIO>();
    HTTPRIO1->OnAfterExecute = [this](const QString &methodName, const QByteArray &response) {
        HTTPRIO1AfterExecute(methodName, response);
    };
    // A failed call leaves nothing pending, so a later scalar answer is never taken for a table.
    HTTPRIO1->OnExecuteFailed = [this](const QString &) { FPendingRequest = 6; };
    FService = GetServiceProxy(config.Read(cfg::ServerURL), HTTPRIO1);
    m_profileService = std::make_unique<SoapProfileService>(*FService, FPendingRequest);
    m_profiles = std::make_unique<UserProfiles>(
        ProfileFields{FUserId, FProfileId, FProfileAddress, FExternalAddress, FMacAddress, FTimeZoneBias},
        *m_profileService, *m_dialogs, m_prompts, computer(), m_configFileName);
    m_profiles->setTerminate([this] { terminateProgram(); });
    if (m_hostNameLookup)
        m_profiles->setHostNameLookup(m_hostNameLookup);
    if (!refreshReferenceData(config))
        return false;

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect placement = Placement(config, screen ? screen->geometry().size() : QSize(1024, 768));
    resize(placement.size());
    move(placement.topLeft());
    if (config.Read(cfg::Maximized))
        setWindowState(windowState() | Qt::WindowMaximized);

    FCloseMinimize = config.Read(cfg::CloseMinimize);
    FMultiplier = config.Read(cfg::Multiplier);

    FCharts3D = config.Read(cfg::ThreeDCharts);
    UpdateChartLineWidths();

    ApplyUnits();

    SetSkinActive(config.Read(cfg::UseSkin));

    ui->Edit1->setText(config.Read(cfg::PingServer));
    ui->UpDown1->setValue(config.Read(cfg::PingInterval));

    FillStandardList();

    ui->ListView2->clear();
    for (const QString &site : config.ReadSection(QLatin1String(cfg::section::LocalSites)))
        addSiteRow(ui->ListView2, site);

    if (!userAndProfile())
        return false;

    Q_UNUSED(startHidden); // the entry routine shows the window unless the switch was given

    TrayIcon1->setVisible(true);
    TrayIcon1->setImageIndex(1);
    TrayIcon1->setHint(QStringLiteral("Veloqua"));

    ui->PageControl1->setCurrentIndex(tsGlobal);
    return true;
}

bool TMainFrm::refreshReferenceData(ConfigFile &config)
{
    struct Step {
        TPendingTable table;
        cfg::DateTimeKey key;
        QDateTime (Service1Soap::*lastUpdated)();
        void (*fetch)(Service1Soap &);
    };
    // The typed table results are not read: the rows arrive through the response hook.
    const Step steps[] = {
        {TPendingTable::Sites, cfg::LastUpdateSites, &Service1Soap::GetLastUpdatedSites,
         [](Service1Soap &s) { s.GetSites(); }},
        {TPendingTable::ConnectionTypes, cfg::LastUpdateConnectionTypes, &Service1Soap::GetLastUpdatedConnectionTypes,
         [](Service1Soap &s) { s.GetConnectionTypes(); }},
        {TPendingTable::Isps, cfg::LastUpdateISPs, &Service1Soap::GetLastUpdatedISPs, [](Service1Soap &s) { s.GetISPs(); }},
    };
    try {
        FPendingRequest = 6;
        FExternalAddress = FService->GetIPAddress();
        for (const Step &step : steps) {
            QDateTime changed = ((*FService).*step.lastUpdated)();
            // The configuration keeps whole seconds; a finer date would look newer at every start.
            changed = changed.addMSecs(-changed.time().msec());
            bool fetch = config.Read(step.key) < changed;
            if (!fetch) {
                try {
                    dmMain.LoadCache(step.table, dataFolder());
                    if (step.table == TPendingTable::Isps)
                        Q_EMIT ispTableLoaded();
                } catch (const ECacheFileError &e) {
                    // Without a usable copy the table is fetched again.
                    if (e.damaged())
                        m_prompts.messageBox(QLatin1String(kApplicationTitle),
                                             e.message() + QStringLiteral("\r\nVeloqua fetches it again from the service."),
                                             MsgIcon::Warning, MsgButton::Ok);
                    fetch = true;
                }
            }
            if (fetch) {
                FPendingRequest = std::uint8_t(step.table);
                step.fetch(*FService);
                config.Write(step.key, changed); // only once the fetch has succeeded
            }
            FPendingRequest = 6;
        }
    } catch (const ESOAPHTTPException &e) {
        FPendingRequest = 6;
        QStringList problems;
        for (const Step &step : steps) {
            try {
                dmMain.LoadCache(step.table, dataFolder());
            } catch (const ECacheFileError &cacheError) {
                problems.append(cacheError.message());
            }
        }
        Q_EMIT ispTableLoaded();
        if (!problems.isEmpty()) {
            // The very first start without the service: there is nothing to work with.
            m_prompts.messageBox(QLatin1String(kApplicationTitle),
                                 QStringLiteral("Veloqua cannot reach the central service at %1.\r\n%2\r\n%3\r\n"
                                                "Please, verify if you have an internet connection\r\nVeloqua will terminate")
                                     .arg(HTTPRIO1->URL, e.message(), problems.join(QStringLiteral("\r\n"))),
                                 MsgIcon::Error, MsgButton::Ok);
            return false;
        }
    }
    return true;
}

void TMainFrm::setProfileDialogs(IProfileDialogs *dialogs)
{
    m_dialogs = dialogs ? dialogs : m_widgetDialogs.get();
}

void TMainFrm::setComputerInfo(const platform::ComputerInfo *computer)
{
    m_computer = computer ? computer : m_ownComputer.get();
}

void TMainFrm::setHostNameLookup(std::function<QString(const QString &)> lookup)
{
    m_hostNameLookup = std::move(lookup);
    if (m_profiles && m_hostNameLookup)
        m_profiles->setHostNameLookup(m_hostNameLookup);
}

const platform::ComputerInfo &TMainFrm::computer() const
{
    return *m_computer;
}

void TMainFrm::terminateProgram()
{
    // The window is not shown (again) and the program ends; during the start-up FormCreate
    // reports it by returning false.
    if (m_exitRequested)
        return;
    m_exitRequested = true;
    close();
}

bool TMainFrm::userAndProfile()
{
    // Registration on the first run, else the check of the active profile; each failure has
    // been explained to the user by the time StartUp returns false.
    try {
        return m_profiles->StartUp();
    } catch (const ERemotableException &e) {
        // The service refused the registration or the check: without a user and a profile that
        // the service knows nothing can be measured or compared, so the program ends here as
        // it does when the service cannot be reached.
        m_prompts.error(QStringLiteral("The server refused the request: %1\r\nVeloqua will terminate").arg(e.message()));
        terminateProgram();
        return false;
    }
}

bool TMainFrm::CheckProfile()
{
    return m_profiles && m_profiles->CheckProfile();
}

void TMainFrm::Editprofile1Click()
{
    if (m_profiles)
        m_profiles->EditProfile();
}

bool TMainFrm::standardRunGate()
{
    try {
        const bool fits = CheckProfile();
        m_gateServiceFailed = !fits && m_profiles && m_profiles->LastFailure() == UserProfiles::Failure::ServiceUnreachable;
        return fits;
    } catch (const ERemotableException &) {
        m_gateServiceFailed = true;
        return false;
    }
}

void TMainFrm::UploadResults(const TStandardRunResult &result)
{
    FLastStandardSpeed = result.bytesPerSecond;
    try {
        UploadStandardRun(*FService, FPendingRequest, FProfileId, result, computer());
    } catch (const ESOAPHTTPException &e) {
        throw EResultUploadFailed(e.message());
    } catch (const ERemotableException &e) {
        throw EResultUploadFailed(e.message());
    }
    // "Quick compare" takes the result over.
    ui->KeloMeter3->setPercent(ui->KeloMeter1->Percent());
    ui->Label22->setText(TNumberFormats().Speed(FLastStandardSpeed / FUnitDivisor, FUnitName));
    SetTag(ui->Label22, RoundHalfEven(FLastStandardSpeed));
}

void TMainFrm::Button5Click()
{
    const QString area = QuickCompareValue(QuickCompareAreas(), ui->ComboBox3->currentIndex());
    const QString period = QuickCompareValue(QuickComparePeriods(), ui->ComboBox4->currentIndex());
    int average = 0;
    try {
        if (!CheckProfile()) {
            // The user who refused to choose a profile has been told, and the program is ending.
            if (!m_profiles || m_profiles->LastFailure() != UserProfiles::Failure::ProfileRefused)
                m_prompts.error(kCompareServiceError);
            return;
        }
        average = GetQuickCompareAverage(*FService, FPendingRequest, FProfileId, area, period);
    } catch (const ESOAPHTTPException &) {
        m_prompts.error(kCompareServiceError);
        return;
    } catch (const ERemotableException &) {
        m_prompts.error(kCompareServiceError);
        return;
    }
    const TSpeedUnit unit = UnitFor(FMultiplier);
    const double v = average / FUnitDivisor;
    ui->KeloMeter4->setPercent(DialPosition(v, unit));
    ui->Label23->setText(TNumberFormats().Speed(v, FUnitName));
    SetTag(ui->Label23, RoundHalfEven(v * FUnitDivisor));
}

bool TMainFrm::periodComparesConnectionTypes() const
{
    // "Connection types" is the first entry of the period page's "Compare" list.
    const auto *compare = ui->tsPeriod->findChild<QComboBox *>(QStringLiteral("ComboBox1"));
    return !compare || compare->currentIndex() <= 0;
}

bool TMainFrm::currentComparesIsps() const
{
    // "Other Internet Service Providers" is the first entry of the current page's list.
    const auto *compare = ui->tsCurrent->findChild<QComboBox *>(QStringLiteral("ComboBox6"));
    return !compare || compare->currentIndex() <= 0;
}

void TMainFrm::HTTPRIO1AfterExecute(const QString &methodName, const QByteArray &response)
{
    Q_UNUSED(methodName); // the pending request alone decides
    const auto leaveNothingPending = qScopeGuard([this] { FPendingRequest = 6; });
    if (FPendingRequest > 5)
        return;
    const auto table = TPendingTable(FPendingRequest);
    const TdmMain::Binding b = dmMain.binding(table, periodComparesConnectionTypes(), currentComparesIsps());
    if (table == TPendingTable::Isps || table == TPendingTable::MyVeloqua)
        ui->Memo1->setPlainText(QString::fromUtf8(response));
    dmMain.TransformResponse(b, response, dataFolder());
    switch (table) {
    case TPendingTable::Sites:
        FillStandardList();
        break;
    case TPendingTable::Isps:
        Q_EMIT ispTableLoaded();
        break;
    case TPendingTable::Veloqua:
        Q_EMIT periodTableLoaded();
        break;
    case TPendingTable::MyVeloqua:
        Q_EMIT myVeloquaTableLoaded();
        break;
    case TPendingTable::Current:
        Q_EMIT currentTableLoaded();
        break;
    default:
        break;
    }
}

void TMainFrm::FillStandardList()
{
    ui->ListView1->clear();
    TClientDataSet *sites = dmMain.cdsSites;
    for (int row = 0; row < sites->RecordCount(); ++row) {
        QTreeWidgetItem *item = addSiteRow(ui->ListView1, sites->AsString(row, QStringLiteral("vcUrl")));
        item->setData(0, Qt::UserRole, sites->AsInteger(row, QStringLiteral("iSiteId")));
    }
}

void TMainFrm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TMainFrm::FormShow()
{
    const int refresh = ConfigFile(m_configFileName).Read(cfg::RefreshInterval);
    if (refresh == 5)
        Q_EMIT runRequested(true);
    else
        SetRefreshInterval(refresh);
    // The personal list follows the preferences' sites. When they are the sites it already
    // shows, the rows are left alone, so opening the window from the tray keeps the figures of
    // the last personal run on screen.
    if (FrmSettings && personalCaptions() != FrmSettings->Sites())
        FillPersonalList();
}

QStringList TMainFrm::personalCaptions() const
{
    QStringList captions;
    for (int i = 0; i < ui->ListView2->topLevelItemCount(); ++i)
        captions.append(ui->ListView2->topLevelItem(i)->text(0));
    return captions;
}

void TMainFrm::SetRefreshInterval(int index)
{
    Timer1->stop();
    if (index >= 0 && index < int(std::size(kRefreshIntervals)))
        Timer1->setInterval(kRefreshIntervals[index]);
    if (index < 4)
        Timer1->start();
    if (FrmSettings)
        FrmSettings->ComboBox1()->setCurrentIndex(index >= 0 && index < FrmSettings->ComboBox1()->count() ? index : -1);
}

void TMainFrm::Timer1Timer()
{
    Q_EMIT runRequested(true);
}

void TMainFrm::WMSysCommand(SysCommand command)
{
    switch (command) {
    case SysCommand::Minimize:
        // Minimizing always sends the program to the tray.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        hide();
        break;
    case SysCommand::Close:
        close(); // closeEvent decides between hiding and ending
        break;
    case SysCommand::Other:
        break;
    }
}

void TMainFrm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        // Hide once the window manager has finished minimizing.
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                WMSysCommand(SysCommand::Minimize);
        });
    }
}

void TMainFrm::closeEvent(QCloseEvent *event)
{
    // The title bar's close button is the only path that "CloseMinimize" turns into hiding.
    if (!m_exitRequested && FCloseMinimize) {
        event->ignore();
        hide();
        return;
    }
    m_exitRequested = true;
    event->accept();
    if (m_runner->Running())
        m_runner->Stop(); // the download in progress ends; the run does not go on
    Q_EMIT closed();
}

void TMainFrm::Open1Click()
{
    if (isVisible()) {
        if (windowState() & Qt::WindowMinimized)
            setWindowState(windowState() & ~Qt::WindowMinimized);
    } else {
        show();
    }
    raise();
    activateWindow();
}

void TMainFrm::Refresh1Click()
{
    // One ping cycle now; the ping monitor is not part of this build yet.
}

void TMainFrm::Exit1Click()
{
    Exit2Click(); // the tray's "Exit" is File "Exit"
}

void TMainFrm::Exit2Click()
{
    m_exitRequested = true;
    close();
}

void TMainFrm::ViewPageClick(int tag)
{
    ui->PageControl1->setCurrentIndex(tag);
    PageControl1Change();
}

void TMainFrm::PageControl1Change()
{
    const bool canSaveOrPrint = ui->PageControl1->currentIndex() != tsQuickCompare;
    ui->Save1->setEnabled(canSaveOrPrint);
    ui->Print1->setEnabled(canSaveOrPrint);
    if (ui->PageControl1->currentIndex() == tsPing && ui->lvPing->topLevelItemCount() > 0)
        ui->lvPing->setCurrentItem(ui->lvPing->topLevelItem(0));
}

void TMainFrm::UpdateChartLineWidths()
{
    // The comparison charts have not been built yet; FCharts3D keeps their setting meanwhile.
}

void TMainFrm::SetSkinActive(bool active)
{
    m_skinActive = active;
    QString sheet;
    if (active) {
        QFile skin(QStringLiteral(":/skin/veloqua.qss"));
        if (skin.open(QIODevice::ReadOnly))
            sheet = QString::fromUtf8(skin.readAll());
    }
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        app->setStyleSheet(sheet);
}

void TMainFrm::setRowDefaults(QTreeWidgetItem *row)
{
    row->setText(1, QString());
    row->setText(2, QString());
    row->setText(3, QString());
    row->setText(kRawBytesColumn, QStringLiteral("0"));
    row->setText(kRawMsColumn, QStringLiteral("0"));
    for (int c = 1; c < 4; ++c)
        row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

QTreeWidgetItem *TMainFrm::addSiteRow(QTreeWidget *list, const QString &caption)
{
    auto *row = new QTreeWidgetItem(list);
    row->setText(0, caption);
    setRowDefaults(row);
    return row;
}

void TMainFrm::FillPersonalList()
{
    // Deferred, not ignored: the user's new list is shown once the run in progress has ended
    // (endRun), so that the rows under test stay where the runner reports into them.
    if (m_runner->Running() || m_startingRun) {
        m_personalListPending = true;
        return;
    }
    ui->ListView2->clear();
    for (const QString &site : FrmSettings->Sites())
        addSiteRow(ui->ListView2, site);
}

void TMainFrm::Preferences1Click()
{
    PreparePreferences();
    if (FrmSettings->exec() == QDialog::Accepted)
        ApplyPreferences();
}

void TMainFrm::PreparePreferences()
{
    FrmSettings->ComboBox2()->setCurrentIndex(FMultiplier >= 0 && FMultiplier < 4 ? FMultiplier : -1);
    FrmSettings->cbUseSkin()->setChecked(m_skinActive);
    FrmSettings->cbCloseMinimize()->setChecked(FCloseMinimize);
    FrmSettings->cb3DCharts()->setChecked(FCharts3D);
}

void TMainFrm::ApplyPreferences()
{
    ConfigFile config(m_configFileName);
    if (FrmSettings->cbProxy()->isChecked()) {
        FHttpProxyHost = FrmSettings->Edit1()->text();
        FHttpProxyPort = FrmSettings->Edit2()->text();
    } else {
        FHttpProxyHost.clear();
        FHttpProxyPort.clear();
    }
    config.Write(cfg::ProxyServer, FrmSettings->Edit1()->text());
    config.Write(cfg::ProxyPort, FrmSettings->Edit2()->text());
    config.Write(cfg::ProxyEnabled, FrmSettings->cbProxy()->isChecked());
    config.Write(cfg::UseWinInet, FrmSettings->cbIeSettings()->isChecked());
    FUseWinInet = FrmSettings->cbIeSettings()->isChecked();
    FMultiplier = FrmSettings->ComboBox2()->currentIndex();
    config.Write(cfg::Multiplier, FMultiplier);
    SetSkinActive(FrmSettings->cbUseSkin()->isChecked());
    FCloseMinimize = FrmSettings->cbCloseMinimize()->isChecked();
    FCharts3D = FrmSettings->cb3DCharts()->isChecked();
    UpdateChartLineWidths();
    config.Write(cfg::UseSkin, FrmSettings->cbUseSkin()->isChecked());
    ApplyUnits();

    IniFile::Entries sites;
    for (const QString &site : FrmSettings->Sites())
        sites.append({site, QString()});
    config.ReplaceSection(QLatin1String(cfg::section::LocalSites), sites);
    FillPersonalList();

    // The refresh choice is applied and kept, so the list shows what the timer does.
    const int refresh = FrmSettings->ComboBox1()->currentIndex();
    if (refresh >= 0 && refresh != config.Read(cfg::RefreshInterval)) {
        config.Write(cfg::RefreshInterval, refresh);
        SetRefreshInterval(refresh);
    }

    if (FrmSettings->cbStartWithWindows()->isChecked())
        m_autostart.enable(QCoreApplication::applicationFilePath());
    else
        m_autostart.disable();
}

void TMainFrm::FormDestroy()
{
    ConfigFile config(m_configFileName);
    config.Write(cfg::PingServer, ui->Edit1->text());
    config.Write(cfg::PingInterval, ui->UpDown1->value());
    config.Write(cfg::Width, width());
    config.Write(cfg::Height, height());
    config.Write(cfg::Left, pos().x());
    config.Write(cfg::Top, pos().y());
    config.Write(cfg::Maximized, isMaximized());
    config.Write(cfg::CloseMinimize, FCloseMinimize);
    config.Write(cfg::ThreeDCharts, FCharts3D);
}

// ---- The test pages ----

qint64 TMainFrm::Tag(const QObject *label)
{
    return label->property("Tag").toLongLong();
}

void TMainFrm::SetTag(QObject *label, qint64 value)
{
    label->setProperty("Tag", value);
}

void TMainFrm::RegisterSpeedDisplay(QLabel *label, TKeloMeter *dial)
{
    m_speedDisplays.append({label, dial});
}

void TMainFrm::connectRunner()
{
    connect(m_runner, &TTestRunner::rowStarted, this, [this](int row) {
        if (QTreeWidgetItem *item = m_runList ? m_runList->topLevelItem(row) : nullptr)
            m_runList->setCurrentItem(item);
    });
    connect(m_runner, &TTestRunner::rowCleared, this, [this](int row) {
        if (QTreeWidgetItem *item = m_runList ? m_runList->topLevelItem(row) : nullptr)
            setRowDefaults(item);
    });
    connect(m_runner, &TTestRunner::rowProgress, this, &TMainFrm::HttpCli1DocData);
    connect(m_runner, &TTestRunner::rowFinished, this, &TMainFrm::onRowFinished);
    connect(m_runner, &TTestRunner::totalsChanged, this, &TMainFrm::onTotalsChanged);
}

void TMainFrm::Button1Click(QPushButton *Sender)
{
    if (Sender->text() == kStartTests) {
        if (m_runner->Running() || m_startingRun)
            return;
        m_runner->FTestKind = Sender == ui->Button1 ? 0 : 1;
        StartRun(false);
    } else {
        m_runner->Stop();
    }
}

void TMainFrm::StartRun(bool automatic)
{
    // A run never starts while another runs: a trigger that arrives then (the periodic timer,
    // showing the window) is ignored; the next one comes as usual.
    if (m_runner->Running() || m_startingRun)
        return;
    m_startingRun = true;
    m_runStarted = false;
    const auto notStarting = qScopeGuard([this] { m_startingRun = false; });

    const bool personal = !automatic && m_runner->FTestKind == 1;
    m_gateServiceFailed = false;
    if (!personal && !m_runner->PassStandardRunGate()) {
        m_runner->FTestKind = 2; // still idle
        // Someone who pressed "Start tests" learns why nothing happens; an automatic run waits
        // quietly for its next turn. A user who refused to choose a profile has been told.
        if (!automatic && m_gateServiceFailed)
            m_prompts.error(kRunServiceError);
        return;
    }

    try {
        startGatedRun(personal);
    } catch (const EResultUploadFailed &) {
        // The run has ended first (buttons, cursor, status bar), then the user is told.
        m_prompts.error(kRunServiceError);
    }
}

void TMainFrm::startGatedRun(bool personal)
{
    ui->StatusBar1->showMessage(QStringLiteral("Retrieving information from server"));
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    if (personal) {
        m_runList = ui->ListView2;
        m_runButton = ui->Button2;
        m_runBytesLabel = ui->Label10;
        m_runTimeLabel = ui->Label11;
        m_runSpeedLabel = ui->Label12;
        m_runDial = ui->KeloMeter2;
        ui->Button1->setEnabled(false);
    } else {
        m_runList = ui->ListView1;
        m_runButton = ui->Button1;
        m_runBytesLabel = ui->Label4;
        m_runTimeLabel = ui->Label5;
        m_runSpeedLabel = ui->Label6;
        m_runDial = ui->KeloMeter1;
        m_runner->FTestKind = 0;
        ui->Button2->setEnabled(false);
    }
    m_runBytesLabel->clear();
    m_runTimeLabel->clear();
    m_runSpeedLabel->clear();
    SetTag(m_runSpeedLabel, 0);
    // The end of the run comes on every path: complete, stopped, empty, or an error.
    const auto end = qScopeGuard([this] { endRun(); });
    if (m_runList->topLevelItemCount() == 0)
        return;

    m_runButton->setText(kStopTests);
    QList<TSiteRow> rows;
    for (int i = 0; i < m_runList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_runList->topLevelItem(i);
        rows.append({item->text(0), item->data(0, Qt::UserRole)});
    }
    m_runner->FUseWinInet = FUseWinInet;
    m_runner->FParsingMethod = FParsingMethod;
    m_runner->SetProxy(FHttpProxyHost, FHttpProxyPort);
    m_runStarted = true;
    // The standard run's completion hook runs inside; if it throws, the run ends first and the
    // error then reaches the caller, and "Last test:" keeps its time.
    const TRunSummary summary = m_runner->Run(rows, personal ? 1 : 0);
    if (summary.completed)
        (personal ? ui->Label34 : ui->Label32)->setText(DateTimeToStr(summary.finished));
}

void TMainFrm::endRun()
{
    if (m_runButton)
        m_runButton->setText(kStartTests);
    if (m_runStarted && m_runList) {
        if (QTreeWidgetItem *item = m_runList->topLevelItem(m_runner->FCurrentRow))
            item->setSelected(false);
    }
    m_runStarted = false;
    m_runner->FTestKind = 2;
    ui->Button1->setEnabled(true);
    ui->Button2->setEnabled(true);
    QGuiApplication::restoreOverrideCursor();
    ui->StatusBar1->clearMessage();
    m_startingRun = false;
    if (m_personalListPending) {
        m_personalListPending = false;
        // Only a changed site list is worth losing the results just measured for.
        if (personalCaptions() != FrmSettings->Sites())
            FillPersonalList();
    }
}

void TMainFrm::TestSite(int row)
{
    m_runner->TestSite(row);
}

void TMainFrm::HttpCli1DocData(int row, qint64 bytes, qint64 elapsedMs)
{
    showRowFigures(row, bytes, elapsedMs, false);
}

void TMainFrm::onRowFinished(int row, qint64 bytes, qint64 milliseconds)
{
    showRowFigures(row, bytes, milliseconds, true);
}

void TMainFrm::showRowFigures(int row, qint64 bytes, qint64 milliseconds, bool final)
{
    QTreeWidgetItem *item = m_runList ? m_runList->topLevelItem(row) : nullptr;
    if (!item)
        return;
    const TNumberFormats f;
    item->setText(kBytesColumn, f.Bytes(bytes));
    item->setText(kTimeColumn, f.Seconds(milliseconds / 1000.0));
    // While the site downloads, a block in the first millisecond leaves the speed as it was; its
    // final figures say 0 then.
    if (milliseconds != 0)
        item->setText(kSpeedColumn, f.Speed(bytes / FUnitDivisor / (milliseconds / 1000.0), FUnitName));
    else if (final)
        item->setText(kSpeedColumn, f.Speed(0.0, FUnitName));
    item->setText(kRawBytesColumn, TNumberFormats::Raw(bytes));
    item->setText(kRawMsColumn, TNumberFormats::Raw(milliseconds));
}

void TMainFrm::onTotalsChanged(qint64 totalBytes, qint64 totalMilliseconds)
{
    if (!m_runSpeedLabel)
        return;
    const TNumberFormats f;
    // S stays 0 while no time has passed at all.
    const double S = totalMilliseconds != 0 ? totalBytes / FUnitDivisor / (totalMilliseconds / 1000.0) : 0.0;
    m_runBytesLabel->setText(f.TotalBytes(totalBytes));
    m_runTimeLabel->setText(f.TotalSeconds(totalMilliseconds / 1000.0));
    m_runSpeedLabel->setText(f.Speed(S, FUnitName));
    if (totalMilliseconds != 0)
        SetTag(m_runSpeedLabel, RoundHalfEven(BytesPerSecond(totalBytes, totalMilliseconds)));
    m_runDial->setPercent(DialPosition(S, UnitFor(FMultiplier)));
}

void TMainFrm::Timer3Timer()
{
    m_runner->Timer3Timer();
}

void TMainFrm::ApplyUnits()
{
    const TSpeedUnit unit = UnitFor(FMultiplier);
    FUnitName = unit.name;
    FUnitDivisor = unit.divisor;
    for (const auto &[label, dial] : std::as_const(m_speedDisplays)) {
        dial->setCaption(unit.name);
        dial->setMaxValue(unit.maxValue);
        dial->setShowValuesSkip(unit.showValuesSkip);
    }
    const TNumberFormats f;
    for (const auto &[label, dial] : std::as_const(m_speedDisplays)) {
        const double value = Tag(label) / unit.divisor;
        label->setText(f.Speed(value, unit.name));
        dial->setPercent(DialPosition(value, unit));
    }
    // Rows measured in no time (or not at all) keep their text.
    for (QTreeWidget *list : {ui->ListView1, ui->ListView2}) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = list->topLevelItem(i);
            if (item->text(kRawMsColumn) == u"0")
                continue;
            const qint64 bytes = item->text(kRawBytesColumn).toLongLong();
            const qint64 ms = item->text(kRawMsColumn).toLongLong();
            if (ms == 0)
                continue;
            item->setText(kSpeedColumn, f.Speed(BytesPerSecond(bytes, ms) / unit.divisor, unit.name));
        }
    }
}

} // namespace vq
