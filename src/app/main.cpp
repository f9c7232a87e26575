// Composition root: builds the real platform services and the main window.
#include "core/form1.h"
#include "engine/engine.h"
#include "persist/app_folder.h"
#include "persist/qt_settings_store.h"
#include "platform/engine_adapter.h"
#include "platform/quit_signals.h"
#include "shell/program_facts.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before anything needs a display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", qPrintable(tarn::kProgramTitle),
                        qPrintable(tarn::versionText()));
            return EXIT_SUCCESS;
        }

    // Wayland gives programs no always-on-top and no window opacity; use
    // XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(tarn::kProgramTitle);
    QApplication::setOrganizationName(tarn::kProgramTitle);
    QApplication::setApplicationVersion(tarn::versionText());
    // The main window is a tool window (no task-bar entry) and is hidden while
    // the mini player is up, so closing a message box or hiding the window
    // must not end the run: only Exit does.
    QApplication::setQuitOnLastWindowClosed(false);
    Q_INIT_RESOURCE(resources);

    tarn::EngineAdapter engine;
    tarn::QtFileDialogs dialogs;
    tarn::QtMessageBoxes messages;
    tarn::QtSettingsStore settings;
    tarn::QtTrayIcon tray(QIcon(QStringLiteral(":/art/program.svg")));
    tarn::EmptyRegistry registry; // this platform keeps no registry
    tarn::QtProgramStarter programs;
    tarn::Form1 form1({engine,
                       dialogs,
                       messages,
                       settings,
                       tarn::resolveAppFolder(),
                       [&engine] {
                           engine.Stop();
                           QApplication::exit(0);
                       },
                       {tray, registry, programs}});
    // A desktop logout (SIGTERM) or Ctrl+C (SIGINT) ends the run through Exit,
    // which saves the settings.
    tarn::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &tarn::QuitSignals::received, &form1,
                     &tarn::Form1::Command7_Click);
    form1.show();
    return app.exec();
}
