// The flag files: a remote control for the main window through three one-line
// files in the application folder. Any process may write them, e.g.
// `printf 1 > next2.ini`; the mini player's Back, Stop and Next buttons do.
//
//   back1.ini  back      stop1.ini  stop      next2.ini  next track
//
// A flag is set when the file's first number is exactly 1. The main window
// polls the three files twice a second, in the order back, stop, next, runs
// the action of each flag that is set and leaves every file holding the
// number line 0. Only a regular file at the name counts: a symbolic link (to
// a file or not), a folder, a pipe or a device is never read, written through
// or replaced, and a file larger than 4 KiB is not read; each counts as not
// set and is left as it is. UI thread only.
#pragma once

#include "persist/file_access.h"

#include <QString>

#include <array>
#include <optional>

namespace tarn {

class MainWindowControls;

inline const QString kBackFlag = QStringLiteral("back1.ini");
inline const QString kStopFlag = QStringLiteral("stop1.ini");
inline const QString kNextFlag = QStringLiteral("next2.ini");

// Set a flag: back and stop write the number line 1, next the text line "1".
// False when the file could not be written (a read-only folder); nothing is
// shown then, the request is simply not made.
bool setBackFlag(const QString &folder);
bool setStopFlag(const QString &folder);
bool set_next_flag(const QString &folder);

// The poll over the three files, run by the main window twice a second. An
// action runs at most once per poll, however often its flag was written
// since the last one. A file is rewritten only when it does not hold the
// number line 0 already (an idle poll writes nothing) and only when it is
// unchanged since it was read, so a request written while the poll ran is
// kept for the next poll. A flag that cannot be cleared (a read-only folder)
// is acted on once, not at every poll, until it is written again. Failures
// are skipped without a word, and a failing action does not stop the poll.
class FlagPoll {
public:
    void tick(const QString &folder, MainWindowControls &main);

private:
    // Per flag, the version of its file that was acted on but not cleared.
    std::array<std::optional<SmallFileRead>, 3> uncleared_;
};

} // namespace tarn
