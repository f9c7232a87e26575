// How the program's own files are opened and replaced: every write goes
// through writeFileAtomically, and files chosen by the user are read only
// when they are regular files.
//
// Plain functions, no state; any thread may call them on its own files.
#pragma once

#include <QByteArrayView>
#include <QString>

class QFile;

namespace tarn {

// Replaces `fileName` with `bytes` once all of them are written: a write that
// fails (read-only folder, full disk) leaves an earlier file of that name as
// it was. Returns the system's reason, or an empty string on success.
QString writeFileAtomically(const QString &fileName, QByteArrayView bytes);

// Opens `file` for reading. A pipe, a device or a socket is refused before it
// is opened: opening or reading one could block the window or never end.
// Returns the reason, or an empty string when the file is open.
QString openRegularFile(QFile &file);

} // namespace tarn
