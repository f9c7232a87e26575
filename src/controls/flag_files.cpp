#include "controls/flag_files.h"

#include "controls/main_window_controls.h"
#include "persist/record_file.h"

#include <exception>

namespace tarn {

namespace {

using Status = SmallFileRead::Status;

// A missing file is created holding 0. Anything that is not a flag file - a
// symbolic link, a folder, a pipe, a file over 4 KiB - or a file that cannot
// be read is left as it is: it may be another program's.
bool needsClearing(const SmallFileRead &seen)
{
    switch (seen.status) {
    case Status::Read:
        return seen.bytes != numberLine(0);
    case Status::Missing:
        return true;
    case Status::NotAFile:
    case Status::TooLarge:
    case Status::Unreadable:
        return false;
    }
    return false;
}

void runAction(void (MainWindowControls::*action)(), MainWindowControls &main)
{
    try {
        (main.*action)();
    } catch (const std::exception &e) {
        qWarning("Tarn Player: a flag's action failed: %s", e.what());
    } catch (...) {
        qWarning("Tarn Player: a flag's action failed");
    }
}

} // namespace

bool setBackFlag(const QString &folder)
{
    return writeNumberLine(folder, kBackFlag, 1);
}

bool setStopFlag(const QString &folder)
{
    return writeNumberLine(folder, kStopFlag, 1);
}

bool set_next_flag(const QString &folder)
{
    return writeTextLine(folder, kNextFlag, "1");
}

void FlagPoll::tick(const QString &folder, MainWindowControls &main)
{
    static const std::pair<const QString &, void (MainWindowControls::*)()> flags[] = {
        {kBackFlag, &MainWindowControls::back},
        {kStopFlag, &MainWindowControls::stop},
        {kNextFlag, &MainWindowControls::next},
    };
    for (std::size_t i = 0; i < std::size(flags); ++i) {
        const auto &[name, action] = flags[i];
        const SmallFileRead seen = readStateFile(folder, name);
        const bool set = seen.status == Status::Read && firstNumber(seen.bytes) == 1;
        if (set && seen != uncleared_[i])
            runAction(action, main);
        uncleared_[i].reset();
        if (!needsClearing(seen) || readStateFile(folder, name) != seen)
            continue; // a new request arrived meanwhile: the next tick takes it
        if (!writeNumberLine(folder, name, 0) && set)
            uncleared_[i] = seen;
    }
}

} // namespace tarn
