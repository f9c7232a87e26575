// The program's command line: files, folders and playlists to open, or
// --help / --version. Read before the windows start, so that those two need
// no display.
#pragma once

#include <QString>
#include <QStringList>

namespace tarn {

struct CommandLine {
    enum class Action { Run, Print, Fail };
    Action action = Action::Run;
    QStringList files; // Run: absolute paths, in the order given
    QString text;      // Print: for standard output; Fail: for standard error
};

// `args` without the program's name; relative paths are taken against
// `currentFolder`; file:// URLs are taken as their paths.
CommandLine parseCommandLine(const QStringList &args, const QString &currentFolder,
                             const QString &versionText);

} // namespace tarn
