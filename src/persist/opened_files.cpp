#include "persist/opened_files.h"
#include "persist/audio_formats.h"
#include "persist/file_access.h"
#include "persist/m3u_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <unistd.h>

namespace tarn {

namespace {

const QString kNotUtf8Reason = QStringLiteral("its name is not valid UTF-8");

// Natural order: runs of digits compare by their value ("2" before "10"),
// the rest case-insensitively. The system's collator does this only in
// some locales.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Without leading zeros, the longer run is the larger number.
            QStringView x = QStringView(a).sliced(si, i - si),
                        y = QStringView(b).sliced(sj, j - sj);
            while (x.size() > 1 && x.front() == u'0')
                x = x.sliced(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.sliced(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

namespace fs = std::filesystem;

// One search of the folders of a collection: depth first, one folder read
// whole and sorted before anything in it is taken.
class FolderSearch {
public:
    FolderSearch(const CollectLimits &limits, OpenedFiles &result,
                 std::function<bool(const PlaylistEntry &)> add)
        : limits_(limits), result_(result), add_(std::move(add))
    {
    }

    // False when the whole collection is to stop: cancelled, or the room is filled.
    bool search(const fs::path &folder)
    {
        if (cancelled())
            return false;
        std::vector<Child> children;
        if (!read(folder, children))
            return false;
        // Ties (names that differ only in case or in leading zeros) go by
        // their bytes, so that the order does not depend on the file system's.
        std::sort(children.begin(), children.end(), [](const Child &a, const Child &b) {
            return naturalLess(a.key, b.key) || (!naturalLess(b.key, a.key) && a.key < b.key);
        });
        for (const Child &child : children) {
            if (child.folder) {
                // Past the bound nothing more is read; what was read is still taken.
                if (!result_.searchCut && !search(child.path))
                    return false;
            } else if (!add_({QFile::decodeName(QByteArray::fromStdString(child.path.native())),
                              child.name})) {
                return false;
            }
        }
        return true;
    }

private:
    struct Child {
        QString key;  // the name; a folder's with "/" after it, as in a path
        QString name; // the name alone
        fs::path path;
        bool folder = false;
    };

    // True when the search is to stop: cancelled, or told to read no folder further.
    bool cancelled()
    {
        if (limits_.cancel && limits_.cancel->load(std::memory_order_relaxed))
            result_.cancelled = true;
        if (!result_.foldersStopped && limits_.stopFolders && limits_.stopFolders())
            result_.foldersStopped = true;
        return result_.cancelled || result_.foldersStopped;
    }

    // The audio files and folders directly in `folder`. False: stop everything.
    bool read(const fs::path &folder, std::vector<Child> &children)
    {
        std::error_code error;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            if (result_.visited >= limits_.maxVisited) {
                result_.searchCut = true;
                break;
            }
            if (limits_.visiting)
                limits_.visiting();
            if (cancelled())
                return false;
            ++result_.visited;
            const std::string bytes = it->path().filename().native();
            if (bytes.starts_with('.'))
                continue; // hidden
            std::error_code statError;
            const bool link = it->is_symlink(statError);
            const fs::file_status status =
                link ? it->status(statError) : it->symlink_status(statError);
            const bool folder = !link && fs::is_directory(status);
            if (!folder && !fs::is_regular_file(status))
                continue;
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString name = decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
            if (!folder && !isAudioFileName(name))
                continue;
            if (decode.hasError()) {
                ++result_.notUtf8;
                continue;
            }
            if (!folder) {
                if (::access(it->path().c_str(), R_OK) != 0)
                    continue;
                // Nothing more can be taken: one audio file is enough to say so.
                if (result_.entries.size() >= limits_.room) {
                    result_.full = true;
                    return false;
                }
            }
            children.push_back({folder ? name + QLatin1Char('/') : name, name, it->path(), folder});
        }
        return true;
    }

    const CollectLimits &limits_;
    OpenedFiles &result_;
    std::function<bool(const PlaylistEntry &)> add_;
};

// The entries of a playlist file, or why there are none.
QString readListFile(const QString &path, qsizetype room, QList<PlaylistEntry> &entries)
{
    if (isM3uFileName(path)) {
        const SmallFileRead read = readSmallFile(path, kPlaylistMaxFileSize);
        if (read.status == SmallFileRead::Status::TooLarge)
            return QStringLiteral("too large for a playlist");
        if (read.status != SmallFileRead::Status::Read)
            return QStringLiteral("cannot be read");
        entries = readM3u(read.bytes, path, room);
        return {};
    }
    QFile file(path);
    if (QString failure = openRegularFile(file); !failure.isEmpty())
        return failure;
    const PlaylistReadResult read = readPlaylist(file, room);
    if (read.refusal != PlaylistRefusal::None)
        return read.refusal == PlaylistRefusal::ReadError ? read.error
                                                          : QStringLiteral("not a playlist file");
    entries = read.entries;
    return {};
}

} // namespace

OpenedFiles collectOpenedFiles(const QStringList &paths, const CollectLimits &limits)
{
    OpenedFiles result;
    const qsizetype room = limits.room;
    const auto add = [&result, room](const PlaylistEntry &entry) {
        if (result.entries.size() >= room) {
            result.full = true;
            return false;
        }
        result.entries.append(entry);
        return true;
    };
    FolderSearch folders(limits, result, add);
    for (const QString &given : paths) {
        if (limits.cancel && limits.cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        const QFileInfo info(given);
        const QString path = info.absoluteFilePath();
        if (info.isDir()) {
            const bool searched = folders.search(fs::path(QFile::encodeName(path).toStdString()));
            // Folders stopped: the files named after this one are still taken.
            if (!searched && (result.cancelled || result.full || !result.foldersStopped))
                return result;
        } else if (!info.exists()) {
            // The command line and file URLs come with U+FFFD for bytes that
            // are not UTF-8; no file has that name.
            result.skipped.append({info.fileName(), given.contains(QChar::ReplacementCharacter)
                                                        ? kNotUtf8Reason
                                                        : QStringLiteral("no such file")});
        } else if (isM3uFileName(path) ||
                   path.endsWith(QLatin1String(".tpl"), Qt::CaseInsensitive)) {
            QList<PlaylistEntry> entries;
            const qsizetype left = room - result.entries.size();
            if (QString failure = readListFile(path, left + 1, entries); !failure.isEmpty())
                result.skipped.append({info.fileName(), failure});
            for (const PlaylistEntry &entry : entries)
                if (!add(entry))
                    return result;
        } else if (!info.isFile() || !isAudioFileName(path)) {
            result.skipped.append({info.fileName(), QStringLiteral("not an audio file")});
        } else if (!add({path, info.fileName()})) {
            return result;
        }
    }
    return result;
}

} // namespace tarn
