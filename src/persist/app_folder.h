// The application folder: where the state and flag files live.
#pragma once

#include <QString>

namespace tarn {

// The executable's folder when it is writable, otherwise the per-user data
// folder (created if needed). Readers and writers all use this one result.
QString resolveAppFolder();

// `name` joined to `folder` with the platform's separator.
QString appFile(const QString &folder, const QString &name);

} // namespace tarn
