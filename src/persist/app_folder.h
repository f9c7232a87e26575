// The application folder: where the state and flag files live.
#pragma once

#include <QString>

namespace tarn {

// The executable's folder when files can be created in it, otherwise the
// per-user data folder (created if needed). Resolved once at start-up; every
// reader and writer is handed this one result.
QString resolveAppFolder();

// The same choice for a given candidate folder.
QString resolveAppFolder(const QString &preferred);

// `name` joined to `folder` with the platform's separator.
QString appFile(const QString &folder, const QString &name);

} // namespace tarn
