#include "Entry.h"

#include "Autostart.h"
#include "Error.h"
#include "MainFrm.h"
#include "MainModule.h"
#include "SingleInstance.h"
#include "UnixSignals.h"
#include "VeloquaApplication.h"
#include "WidgetPrompts.h"

#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

namespace vq {

namespace {
Q_LOGGING_CATEGORY(lcInstance, "veloqua.instance", QtWarningMsg)
}

int RunVeloqua(int argc, char **argv)
{
    // The start switch is read before Qt takes its own options out of the command line.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool startHidden = TMainFrm::HasStartSwitch(arguments);

    VeloquaApplication app(argc, argv);
    // Hidden in the tray is a normal state: closing a message box then must not end the program.
    app.setQuitOnLastWindowClosed(false);

    platform::SingleInstance guard;
    switch (guard.claim()) {
    case platform::SingleInstance::Claim::HandedOver:
        qCInfo(lcInstance, "asked the running copy to show its window");
        return 0; // the running copy shows itself; nothing else is created or touched
    case platform::SingleInstance::Claim::Failed:
        std::fprintf(stderr, "veloqua: could not set up the single-instance socket %s; continuing\n",
                     qPrintable(guard.serverPath()));
        break;
    case platform::SingleInstance::Claim::Primary:
        break;
    }

    platform::WidgetPrompts prompts;
    app.setPrompts(&prompts);
    platform::XdgAutostart autostart;

    TdmMain dmMain;
    TMainFrm MainFrm(prompts, autostart, dmMain);
    QObject::connect(&MainFrm, &TMainFrm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&guard, &platform::SingleInstance::showRequested, &MainFrm, [&MainFrm] {
        MainFrm.Open1Click();
        qCInfo(lcInstance, "window shown at the request of a second start");
    });

    platform::UnixSignals signals_;
    QObject::connect(&signals_, &platform::UnixSignals::terminationRequested, &MainFrm, &TMainFrm::Exit2Click);

    try {
        if (!MainFrm.FormCreate(startHidden))
            return 0;
    } catch (const Error &e) {
        app.reportException(e.message());
    } catch (const std::exception &e) {
        app.reportException(QString::fromLocal8Bit(e.what()));
    }
    if (!startHidden)
        MainFrm.show();
    qCInfo(lcInstance, "started, window %s", startHidden ? "hidden" : "shown");

    const int rc = app.exec();
    try {
        MainFrm.FormDestroy();
    } catch (const Error &e) {
        std::fprintf(stderr, "veloqua: %s\n", qPrintable(e.message()));
    }
    return rc;
}

} // namespace vq
