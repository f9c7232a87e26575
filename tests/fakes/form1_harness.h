// A main window built on fakes, with a temporary application folder.
#pragma once

#include "engine/support/engine_options.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_settings.h"
#include "fakes/fake_shell.h"
#include "fakes/form1_probe.h"
#include "main_window/form1.h"
#include "persist/file_import.h"
#include "platform/engine_adapter.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tarn::test {

struct Form1Harness {
    FakeEngine engine;
    FakeDialogs dialogs;
    FakeMessages messages;
    FakeSettings settings;
    FakeTray tray;
    FakeRegistry registry;
    FakeProgramStarter programs;
    QTemporaryDir appFolder;
    int endProgramCalls = 0;
    std::function<void()> onEndProgram; // runs as the program ends, if set
    // The visualisation window's engine: a real one, so its video plays.
    std::function<std::unique_ptr<MediaEngine>()> videoEngine = [] {
        return std::make_unique<EngineAdapter>(testEngineOptions());
    };
    std::unique_ptr<Form1> form;

    // Builds the window (running its start-up) with whatever the test put
    // into the fakes beforehand.
    Form1 &create()
    {
        // A window takes the engine's handlers and drops them when it goes,
        // so the old one goes first.
        form.reset();
        form = std::make_unique<Form1>(Form1Services{engine,
                                                     dialogs,
                                                     messages,
                                                     settings,
                                                     appFolder.path(),
                                                     [this] {
                                                         ++endProgramCalls;
                                                         if (onEndProgram)
                                                             onEndProgram();
                                                     },
                                                     {tray, registry, programs},
                                                     true,
                                                     videoEngine});
        return *form;
    }

    // Runs the event loop until the files handed to the window are in the
    // playlist (their search runs on a thread of its own). False if that
    // never happens.
    bool importsDone() const
    {
        return QTest::qWaitFor([this] { return !probe(*form).fileImport().busy(); }, 20000);
    }
};

} // namespace tarn::test
