#include "persist/file_access.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tarn {

QString writeFileAtomically(const QString &fileName, QByteArrayView bytes)
{
    QSaveFile file(fileName);
    // Unbuffered: QSaveFile::commit() ignores a failure of the final buffer
    // flush (a full disk, a size limit) and would put a truncated file in
    // place. Written directly, every short write is seen here. An uncommitted
    // QSaveFile discards its temporary file, so every early return keeps the
    // old file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    // A short write leaves no error behind; writing the rest produces the
    // system's reason (ENOSPC, EFBIG).
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += n;
    }
    return file.commit() ? QString() : file.errorString();
}

QString openRegularFile(QFile &file)
{
    // A folder is left to open(), which names the reason itself.
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile() && !info.isDir())
        return QStringLiteral("it is not a regular file");
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
}

} // namespace tarn
