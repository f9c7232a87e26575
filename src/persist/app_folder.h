// The application folder: where the state and flag files live.
#pragma once

#include <QString>

namespace tarn {

// The executable's folder when files can be created in it, otherwise the
// per-user data folder (created if needed). An installed program (see
// installedDataFolder) always uses the per-user data folder: its own folder
// is shared by every user. Resolved once at start-up; every reader and
// writer is handed this one result.
QString resolveAppFolder();

// For an executable in <prefix>/bin that `cmake --install` put there, the
// folder of the data installed with it, <prefix>/share/tarn-player (where
// 1016.avi is); empty when the executable runs from its build folder.
QString installedDataFolder(const QString &executableFolder);

// Where the program's own data files (1016.avi) are: the installed data
// folder, or else the executable's folder.
QString resolveDataFolder();

// The same choice for a given candidate folder.
QString resolveAppFolder(const QString &preferred);

// `name` joined to `folder` with the platform's separator.
QString appFile(const QString &folder, const QString &name);

} // namespace tarn
