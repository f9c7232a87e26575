// Composition root: builds the real platform services and the main window.
#include "desktop/command_line.h"
#include "desktop/mpris_player.h"
#include "desktop/one_player.h"
#include "desktop/window_system.h"
#include "engine/engine_environment.h"
#include "main_window/form1.h"
#include "persist/app_folder.h"
#include "persist/qt_settings_store.h"
#include "platform/deferred_icon_style.h"
#include "platform/engine_adapter.h"
#include "platform/qt_instance_channel.h"
#include "platform/qt_media_bus.h"
#include "platform/quit_signals.h"
#include "shell/program_facts.h"
#include "widgets/first_paint.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // ---- Command line: answered before anything needs a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const tarn::CommandLine command = tarn::parseCommandLine(
        args, QDir::currentPath(), tarn::kProgramTitle + QLatin1Char(' ') + tarn::versionText());
    if (command.action != tarn::CommandLine::Action::Run) {
        const bool failed = command.action == tarn::CommandLine::Action::Fail;
        std::fputs(qPrintable(command.text), failed ? stderr : stdout);
        return failed ? 2 : EXIT_SUCCESS;
    }

    // ---- The window system: X11 where an X server is named, else Wayland.
    tarn::WindowSystemEnvironment display{qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                          qgetenv("WAYLAND_DISPLAY")};
    const tarn::WindowSystemChoice windowSystem = tarn::chooseWindowSystem(display);
    if (!windowSystem.error.isEmpty()) {
        std::fprintf(stderr, "tarn-player: %s\n", qPrintable(windowSystem.error));
        return EXIT_FAILURE;
    }
    if (!windowSystem.qtPlatform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", windowSystem.qtPlatform);
        display.qtPlatform = windowSystem.qtPlatform;
    }

    // Qt aborts when none of its platforms opens (a display that does not
    // answer): said plainly instead, with a failure status and no core dump.
    static tarn::WindowSystemEnvironment opening;
    opening = display;
    static QtMessageHandler qtMessages = nullptr;
    qtMessages = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                           const QString &text) {
        if (type != QtFatalMsg) {
            if (qtMessages)
                qtMessages(type, context, text);
            return;
        }
        std::fprintf(stderr, "tarn-player: %s\n", qPrintable(tarn::windowSystemFailure(opening)));
        std::_Exit(EXIT_FAILURE);
    });
    QApplication app(argc, argv);
    qInstallMessageHandler(qtMessages);
    QApplication::setStyle(new tarn::DeferredIconStyle); // the application owns it
    QApplication::setApplicationName(tarn::kProgramTitle);
    QApplication::setOrganizationName(tarn::kProgramTitle);
    QApplication::setApplicationVersion(tarn::versionText());
    // The main window is a tool window (no task-bar entry) and is hidden while
    // the mini player is up, so closing a message box or hiding the window
    // must not end the run: only Exit does.
    QApplication::setQuitOnLastWindowClosed(false);
    Q_INIT_RESOURCE(resources);

    // ---- One player per user and display: a later start hands its files over and ends.
    tarn::Form1 *player = nullptr; // set once the window exists
    QStringList early;             // handed over before that, opened then
    // The display as the session names it; the runtime folder read directly,
    // as Qt's own lookup warns on stderr when it is not set.
    const QString displayName = QString::fromLocal8Bit(
        display.x11Display.isEmpty() ? display.waylandDisplay : display.x11Display);
    tarn::QtInstanceChannel instance(displayName,
                                     tarn::QtInstanceChannel::defaultSocketName(
                                         displayName, qEnvironmentVariable("XDG_RUNTIME_DIR")));
    const tarn::PlayerStart start =
        tarn::startPlayer(instance, command.files, [&player, &early](const QStringList &files) {
            if (!player) {
                early += files;
                return;
            }
            player->openFiles(files, true);
            player->bringToFront();
        });
    switch (start.outcome) {
    case tarn::PlayerStart::Outcome::HandedOver:
        return EXIT_SUCCESS;
    case tarn::PlayerStart::Outcome::Failed:
        std::fprintf(stderr, "tarn-player: %s\n", qPrintable(start.message));
        return EXIT_FAILURE;
    case tarn::PlayerStart::Outcome::PlayerAlone:
        std::fprintf(stderr, "tarn-player: %s\n", qPrintable(start.message));
        break;
    case tarn::PlayerStart::Outcome::Player:
        break;
    }

    // ---- The engine's settings from the environment; bad values are said on stderr.
    const tarn::engine::EngineOptions fromEnvironment =
        tarn::engine::applyEngineEnvironment("tarn-player", ::getenv);
    tarn::engine::EngineOptions engineOptions = fromEnvironment;
    engineOptions.preloadOutput = false; // once the window is up, below
    tarn::EngineAdapter engine(engineOptions);
    tarn::QtFileDialogs dialogs;
    tarn::QtMessageBoxes messages;
    tarn::QtSettingsStore settings;
    tarn::QtTrayIcon tray(QStringLiteral(":/art/program.svg")); // started once the window is up
    tarn::EmptyRegistry registry;                               // this platform keeps no registry
    tarn::QtProgramStarter programs;
    tarn::Form1 form1(
        {engine,
         dialogs,
         messages,
         settings,
         tarn::resolveAppFolder(),
         [&engine] {
             engine.Stop();
             QApplication::exit(0);
         },
         {tray, registry, programs},
         tarn::keepsOnTopAndOpacity(QGuiApplication::platformName()),
         [&fromEnvironment] { return std::make_unique<tarn::EngineAdapter>(fromEnvironment); }});
    // A desktop logout (SIGTERM) or Ctrl+C (SIGINT) ends the run through Exit,
    // which saves the settings.
    tarn::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &tarn::QuitSignals::received, &form1, &tarn::Form1::exitProgram);
    form1.show();
    // What the window does not show waits until it has painted: the sound
    // library, and the tray icon with its balloon.
    tarn::afterFirstPaint(form1, [&engine, &tray] {
        engine.preloadOutput();
        tray.start();
    });

    // ---- Desktop integration: files given, media keys and desktop controls.
    player = &form1;
    if (!command.files.isEmpty())
        form1.openFiles(command.files, true);
    if (!early.isEmpty())
        form1.openFiles(early, true);
    tarn::QtMediaBus mediaBus(QStringLiteral("tarnplayer"));
    tarn::MprisPlayer mpris(form1, mediaBus);
    mpris.start(); // without a bus, or with the name taken, the player runs without

    return app.exec();
}
