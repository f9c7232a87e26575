#include "persist/file_access.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

SmallFileRead readSmallFile(const QString &fileName, qint64 maxBytes)
{
    using Status = SmallFileRead::Status;
    SmallFileRead result;
    const auto failed = [&result](Status status) {
        result.status = status;
        return result;
    };
    const auto missingOr = [](Status other) {
        return errno == ENOENT || errno == ENOTDIR ? Status::Missing : other;
    };

    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    // Checked before opening: opening a device can have effects of its own.
    if (::stat(path.constData(), &info) != 0)
        return failed(missingOr(Status::Unreadable));
    if (!S_ISREG(info.st_mode))
        return failed(Status::NotAFile);
    // Non-blocking, should a pipe have taken the file's place since the check.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failed(missingOr(Status::Unreadable));
    const struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &info) != 0)
        return failed(Status::Unreadable);
    if (!S_ISREG(info.st_mode))
        return failed(Status::NotAFile);
    result.device = info.st_dev;
    result.inode = info.st_ino;
    result.modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    if (info.st_size > maxBytes)
        return failed(Status::TooLarge);

    // One byte more than allowed tells a file that grew since fstat.
    QByteArray bytes(maxBytes + 1, Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed(Status::Unreadable);
        }
        done += n;
    }
    if (done > maxBytes)
        return failed(Status::TooLarge);
    bytes.truncate(done);
    result.bytes = bytes;
    result.status = Status::Read;
    return result;
}

} // namespace tarn
