// The window's personal test run, offscreen, on one address: what the transfer costs when every
// block updates a row of a visible list, its totals and its dial.
//
//   QT_QPA_PLATFORM=offscreen bench_window_run [--engine curl|system] ADDRESS
//
// Prints the milliseconds from "Start tests" to the end of the run, and the bytes measured.
// transfer.sh compares that time with curl(1)'s on the same file.
#include "Autostart.h"
#include "MainFrm.h"
#include "MainModule.h"
#include "Prompts.h"
#include "TestRunner.h"
#include "ui_MainFrm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

using namespace vq;

namespace {

class NoPrompts : public IPrompts
{
public:
    MsgButton messageBox(const QString &, const QString &text, MsgIcon, MsgButtons, MsgButton def) override
    {
        std::fprintf(stderr, "bench_window_run: unexpected message: %s\n", qPrintable(text));
        return def;
    }
    std::optional<QString> inputBox(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> saveFile(SaveFileRequest &) override { return std::nullopt; }
    bool printDialog(QPrinter &) override { return false; }
};

class NoAutostart : public platform::Autostart
{
public:
    bool isEnabled() const override { return false; }
    void enable(const QString &) override {}
    void disable() override {}
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool system = false;
    if (args.size() >= 2 && args.at(0) == u"--engine") {
        system = args.at(1) == u"system";
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: bench_window_run [--engine curl|system] ADDRESS\n");
        return 2;
    }

    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));

    // The real start-up sequence, against the reference service on a free loopback port.
    QProcess service;
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(QCoreApplication::applicationDirPath() + QStringLiteral("/veloqua-service"),
                  {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"),
                   home.path() + QStringLiteral("/service.sqlite"), QStringLiteral("--no-request-log")});
    static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)"));
    QString endpoint;
    QByteArray serviceLog;
    QElapsedTimer waited;
    waited.start();
    while (endpoint.isEmpty() && waited.elapsed() < 20000 && service.state() != QProcess::NotRunning) {
        service.waitForReadyRead(100);
        serviceLog += service.readAll();
        endpoint = listening.match(QString::fromLocal8Bit(serviceLog)).captured(1);
    }
    if (endpoint.isEmpty()) {
        std::fprintf(stderr, "bench_window_run: the reference service did not start: %s\n", serviceLog.constData());
        return 1;
    }

    // A registered user whose profile fits this computer's address; pages only, no periodic runs.
    const QString folder = home.path() + QStringLiteral("/Tavistel Utilities/veloqua");
    QDir().mkpath(folder);
    const QString config = folder + QStringLiteral("/veloqua.ini");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[Config]\nProxyLoaded=1\nRefreshInterval=4\nParsingMethod=4\nUseWinInet=" + QByteArray(system ? "1" : "0")
               + "\nServerURL=" + endpoint.toUtf8() + "\n[UserInfo]\nUserId=1\nLastProfile=Default\n[Profiles]\nDefault=1\n"
               + "[PrfDefault]\nIPAddress=127.0.0.1\n[LocalSites]\n" + args.at(0).toUtf8() + "=\n");
    file.close();

    NoPrompts prompts;
    NoAutostart autostart;
    TdmMain dm(QCoreApplication::applicationDirPath());
    TMainFrm frm(prompts, autostart, dm, config);
    if (!frm.FormCreate(false)) {
        std::fprintf(stderr, "bench_window_run: the start-up sequence failed\n");
        return 1;
    }
    frm.show();
    frm.ViewPageClick(TMainFrm::tsLocal);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    frm.Button1Click(frm.form()->Button2);
    const qint64 ms = clock.elapsed();
    const QTreeWidgetItem *row = frm.form()->ListView2->topLevelItem(0);
    if (qEnvironmentVariableIsSet("VQ_SCREENSHOT"))
        frm.grab().save(qEnvironmentVariable("VQ_SCREENSHOT"));
    std::printf("%lld ms, %s bytes, %s ms measured\n", static_cast<long long>(ms), qPrintable(row->text(4)),
                qPrintable(row->text(5)));
    service.terminate();
    service.waitForFinished(10000);
    return 0;
}
