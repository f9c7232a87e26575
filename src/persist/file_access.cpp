#include "persist/file_access.h"
#include "engine/unique_fd.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

namespace {

using Status = SmallFileRead::Status;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

SmallFileRead failed(Status status)
{
    SmallFileRead result;
    result.status = status;
    return result;
}

Status missingOr(Status other)
{
    return errno == ENOENT || errno == ENOTDIR ? Status::Missing : other;
}

// The rest of a read once the file is open: the open file is checked again,
// since another file may have taken the name between the check and open().
SmallFileRead readOpenFile(int fd, qint64 maxBytes)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return failed(Status::Unreadable);
    if (!S_ISREG(info.st_mode))
        return failed(Status::NotAFile);
    SmallFileRead result;
    result.device = info.st_dev;
    result.inode = info.st_ino;
    result.modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    if (info.st_size > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }

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
            result.status = Status::Unreadable;
            return result;
        }
        done += n;
    }
    if (done > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    bytes.truncate(done);
    result.bytes = bytes;
    result.status = Status::Read;
    return result;
}

// The entry's name in the folder, in the file system's encoding.
QByteArray entryName(const QString &name)
{
    Q_ASSERT(!name.isEmpty() && !name.contains(QLatin1Char('/')));
    return QFile::encodeName(name);
}

int openFolder(const QString &folder)
{
    return ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Why `entry` in the folder may not be replaced, or an empty string when it
// may: it is missing, or a regular file of at most maxBytes, whose
// permissions are then put in `mode`.
QString refusalToReplace(int folder, const QByteArray &entry, qint64 maxBytes,
                         std::optional<mode_t> &mode)
{
    struct stat info {};
    if (::fstatat(folder, entry.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? QString() : systemReason(errno);
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a symbolic link, which is neither followed nor replaced");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not a regular file");
    if (info.st_size > maxBytes)
        return QStringLiteral("it is larger than %1 bytes, so it is not one of the player's files")
            .arg(maxBytes);
    mode = info.st_mode & 07777;
    return {};
}

// A new file in a folder that is removed again unless it was renamed.
class TemporaryEntry {
public:
    // Creates the file exclusively (never through a link) under a fresh
    // hidden name derived from `entry`; fd() < 0 and error() tell a failure.
    TemporaryEntry(int folder, const QByteArray &entry) : folder_(folder)
    {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = '.' + entry + ".tmp-" +
                    QByteArray::number(QRandomGenerator::global()->generate(), 16);
            fd_ = ::openat(folder, name_.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            error_ = fd_ < 0 ? errno : 0;
            if (error_ != EEXIST)
                break;
        }
    }
    ~TemporaryEntry()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (created() && !renamed_)
            ::unlinkat(folder_, name_.constData(), 0);
    }
    TemporaryEntry(const TemporaryEntry &) = delete;
    TemporaryEntry &operator=(const TemporaryEntry &) = delete;

    int fd() const { return fd_; }
    int error() const { return error_; }

    // Writes all of `bytes` and puts them on disk; the reason on failure.
    QString write(QByteArrayView bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.data() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) // ENOSPC, EFBIG after a short write
                return systemReason(n < 0 ? errno : EIO);
            done += n;
        }
        // A file system that cannot sync says EINVAL; that is no failure.
        if (::fsync(fd_) != 0 && errno != EINVAL)
            return systemReason(errno);
        if (::close(std::exchange(fd_, -1)) != 0)
            return systemReason(errno);
        return {};
    }

    // Renames the file to `entry`, replacing whatever has that name.
    QString renameTo(const QByteArray &entry)
    {
        if (::renameat(folder_, name_.constData(), folder_, entry.constData()) != 0)
            return systemReason(errno);
        renamed_ = true;
        return {};
    }

private:
    bool created() const { return !name_.isEmpty() && error_ == 0; }

    int folder_;
    int fd_ = -1;
    int error_ = 0;
    QByteArray name_;
    bool renamed_ = false;
};

} // namespace

SmallFileRead readSmallFile(const QString &fileName, qint64 maxBytes)
{
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    // Checked before opening: opening a device can have effects of its own.
    if (::stat(path.constData(), &info) != 0)
        return failed(missingOr(Status::Unreadable));
    if (!S_ISREG(info.st_mode))
        return failed(Status::NotAFile);
    // Non-blocking, should a pipe have taken the file's place since the check.
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return failed(missingOr(Status::Unreadable));
    return readOpenFile(fd.get(), maxBytes);
}

SmallFileRead readFileInFolder(const QString &folder, const QString &name, qint64 maxBytes)
{
    const QByteArray entry = entryName(name);
    const UniqueFd dir(openFolder(folder));
    if (dir.get() < 0)
        return failed(missingOr(Status::Unreadable));
    struct stat info {};
    if (::fstatat(dir.get(), entry.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(missingOr(Status::Unreadable));
    if (!S_ISREG(info.st_mode))
        return failed(Status::NotAFile);
    // O_NOFOLLOW: a link that took the name since the check is not opened.
    const UniqueFd fd(
        ::openat(dir.get(), entry.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return failed(errno == ELOOP ? Status::NotAFile : missingOr(Status::Unreadable));
    return readOpenFile(fd.get(), maxBytes);
}

QString replaceFileInFolder(const QString &folder, const QString &name, QByteArrayView bytes,
                            qint64 maxBytes)
{
    const QByteArray entry = entryName(name);
    const UniqueFd dir(openFolder(folder));
    if (dir.get() < 0)
        return systemReason(errno);
    std::optional<mode_t> mode;
    if (QString refused = refusalToReplace(dir.get(), entry, maxBytes, mode); !refused.isEmpty())
        return refused;

    TemporaryEntry temporary(dir.get(), entry);
    if (temporary.fd() < 0)
        return systemReason(temporary.error());
    // A replaced file keeps its permissions; a new one gets the usual ones.
    if (mode)
        (void)::fchmod(temporary.fd(), *mode);
    if (QString reason = temporary.write(bytes); !reason.isEmpty())
        return reason;
    // Checked again just before the rename, which cannot go through a link
    // that took the name since: it replaces the name itself.
    if (QString refused = refusalToReplace(dir.get(), entry, maxBytes, mode); !refused.isEmpty())
        return refused;
    return temporary.renameTo(entry);
}

} // namespace tarn
