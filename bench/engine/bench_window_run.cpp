// The window's personal test run, offscreen, on one address: what the transfer costs when every
// block updates a row of a visible list, its totals and its dial.
//
//   QT_QPA_PLATFORM=offscreen bench_window_run [--engine curl|system] ADDRESS
//
// Prints the milliseconds from "Start tests" to the end of the run, and the bytes measured.
// transfer.sh times the whole process against curl(1).
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

// The window starts only where it can check its user's profile with the central service: a
// throw-away reference service on loopback. Returns its endpoint, empty when it did not come up.
QString StartService(QProcess &service, const QString &folder)
{
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(QStringLiteral(VQ_BIN_DIR "/veloqua-service"),
                  {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"),
                   folder + QStringLiteral("/service.sqlite"), QStringLiteral("--no-request-log")});
    static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)"));
    QByteArray log;
    while (service.waitForReadyRead(10000)) {
        log += service.readAll();
        const QRegularExpressionMatch m = listening.match(QString::fromLocal8Bit(log));
        if (m.hasMatch())
            return m.captured(1);
    }
    std::fprintf(stderr, "bench_window_run: the reference service did not start: %s\n", log.constData());
    return QString();
}

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
    const QString folder = home.path() + QStringLiteral("/Tavistel Utilities/veloqua");
    QDir().mkpath(folder);
    const QString config = folder + QStringLiteral("/veloqua.ini");
    // Ended after the window (declared before it), which closes its connection to the service
    // first: a kept-alive connection would hold the service's orderly stop.
    struct Service : QProcess {
        ~Service() override
        {
            terminate();
            waitForFinished(10000);
        }
    } service;
    const QString endpoint = StartService(service, home.path());
    if (endpoint.isEmpty())
        return 1;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    // Pages only, as curl fetches them; no periodic runs. A registered user whose profile
    // fits the address the service sees (loopback), so the start-up asks nothing; the personal
    // run never talks to the service.
    file.write("[Config]\nProxyLoaded=1\nServerURL=" + endpoint.toUtf8()
               + "\nParsingMethod=4\nRefreshInterval=4\nUseWinInet=" + QByteArray(system ? "1" : "0")
               + "\n[LocalSites]\n" + args.at(0).toUtf8()
               + "=\n[UserInfo]\nUserId=1\nLastProfile=Default\n[Profiles]\nDefault=1\n[PrfDefault]\nIPAddress=127.0.0.1\n");
    file.close();

    TdmMain dm(VQ_BIN_DIR);

    NoPrompts prompts;
    NoAutostart autostart;
    TMainFrm frm(prompts, autostart, dm, config);
    if (!frm.FormCreate(false))
        return 1;
    frm.show();
    frm.ViewPageClick(TMainFrm::tsLocal);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    frm.Button1Click(frm.form()->Button2);
    const qint64 ms = clock.elapsed();
    const QTreeWidgetItem *row = frm.form()->ListView2->topLevelItem(0);
    std::printf("%lld ms, %s bytes, %s ms measured\n", static_cast<long long>(ms), qPrintable(row->text(4)),
                qPrintable(row->text(5)));
    return 0;
}
