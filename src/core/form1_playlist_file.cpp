// Save Playlist and Load Playlist: the .TPL files of persist/playlist_file.h
// brought to the playlist lists, with the dialogs and messages around them.
#include "core/form1.h"
#include "persist/playlist_file.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSaveFile>

#include <algorithm>

namespace tarn {

namespace {

// Qt's own dialog matches the pattern in any case, so a.tpl is listed too.
const QString kPlaylistFilter = QStringLiteral("Tarn Player Playlist (*.TPL)");

// Replaces `fileName` only once everything is written: a failed save leaves
// an earlier file of that name as it was. Returns the system's reason, or an
// empty string on success.
QString saveAtomically(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    // Unbuffered: QSaveFile::commit() ignores a failure of the final buffer
    // flush (a full disk, a size limit) and would put a truncated file in
    // place. Written directly, every short write is seen here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    // A short write leaves no error behind; writing the rest produces the
    // system's reason (ENOSPC, EFBIG).
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += n;
    }
    return file.commit() ? QString() : file.errorString();
}

QString refusalText(const QString &fileName, const PlaylistReadResult &read)
{
    switch (read.refusal) {
    case PlaylistRefusal::None:
        break;
    case PlaylistRefusal::Binary:
        return fileName + QStringLiteral(" is not a playlist file: line %1 holds binary data.")
                              .arg(read.refusedLine);
    case PlaylistRefusal::LineTooLong:
        return fileName + QStringLiteral(" is not a playlist file: line %1 is longer than %2 "
                                         "bytes.")
                              .arg(read.refusedLine)
                              .arg(kPlaylistMaxLine);
    case PlaylistRefusal::ReadError:
        return QStringLiteral("Could not read ") + fileName + QStringLiteral(":\n") + read.error;
    }
    return {};
}

} // namespace

void Form1::Command8_Click()
{
    const QString fileName =
        services_.dialogs.getSaveFileName(QStringLiteral("Save Playlist"), kPlaylistFilter);
    if (fileName.isEmpty())
        return; // cancelled: nothing written, nothing said

    const int count = List1->count();
    Q_ASSERT(List2->count() == count);
    services_.messages.show(QStringLiteral("there are ") + QString::number(count) +
                            QStringLiteral(" Songs in your playlist"));
    services_.messages.show(QStringLiteral("Saving playlist"));

    QList<PlaylistEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QListWidgetItem *name = List2->item(i);
        entries.append({List1->item(i)->text(), name ? name->text() : QString()});
    }
    const PlaylistWriteResult written = writePlaylist(entries);
    if (written.badEntry >= 0) {
        services_.messages.show(QStringLiteral("The playlist was not saved: entry %1 (%2) cannot "
                                               "be stored in a playlist file because %3.")
                                    .arg(written.badEntry + 1)
                                    .arg(entries[written.badEntry].path, written.badReason),
                                MessageIcon::Exclamation);
        return;
    }
    const QString failure = saveAtomically(fileName, written.bytes);
    if (!failure.isEmpty()) {
        services_.messages.show(QStringLiteral("Could not save the playlist to ") + fileName +
                                    QStringLiteral(":\n") + failure,
                                MessageIcon::Exclamation);
        return;
    }
    // Writing selects each entry in turn; only the last selection is seen.
    if (count > 0) {
        setSelectedIndex(List1, count - 1);
        setSelectedIndex(List2, count - 1);
    }
    services_.messages.show(QStringLiteral("Saved your playlist :- ") + fileName,
                            MessageIcon::Information, QStringLiteral("Saved Playlist"));
}

void Form1::Command9_Click()
{
    const QString fileName =
        services_.dialogs.getOpenFileName(QStringLiteral("Load Playlist"), kPlaylistFilter);
    if (fileName.isEmpty())
        return; // cancelled: nothing added, nothing said

    // A pipe or a device would block the window or never end.
    const QFileInfo info(fileName);
    QFile file(fileName);
    QString openFailure;
    if (info.exists() && !info.isFile() && !info.isDir())
        openFailure = QStringLiteral("it is not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        openFailure = file.errorString();
    if (!openFailure.isEmpty()) {
        services_.messages.show(QStringLiteral("Could not open ") + fileName +
                                    QStringLiteral(":\n") + openFailure,
                                MessageIcon::Exclamation);
        return;
    }

    const qsizetype room = std::max(0, kMaxEntries - List1->count());
    const PlaylistReadResult read = readPlaylist(file, room);
    file.close();
    if (read.refusal != PlaylistRefusal::None) {
        services_.messages.show(refusalText(fileName, read), MessageIcon::Exclamation);
        return;
    }

    QStringList paths;
    QStringList names;
    paths.reserve(read.entries.size());
    names.reserve(read.entries.size());
    for (const PlaylistEntry &entry : read.entries) {
        paths.append(entry.path);
        names.append(entry.name);
    }
    // One insertion per list, painted once: a full playlist must not hold
    // the window for item-by-item layout.
    for (QListWidget *list : {List1, List2})
        list->setUpdatesEnabled(false);
    List1->addItems(paths);
    List2->addItems(names);
    for (QListWidget *list : {List1, List2})
        list->setUpdatesEnabled(true);

    QString text = QStringLiteral("Playlist Imported");
    if (!read.endMarkerFound)
        text += QStringLiteral("\n\nThe file ended early, without its \"end\" line; the %1 "
                               "entries before that were loaded.")
                    .arg(read.entries.size());
    if (read.leftOut > 0)
        text += QStringLiteral("\n\nThe playlist holds at most %1 entries: %2 entries of the "
                               "file were left out.")
                    .arg(kMaxEntries)
                    .arg(read.leftOut);
    const bool clean = read.endMarkerFound && read.leftOut == 0;
    services_.messages.show(text, clean ? MessageIcon::None : MessageIcon::Exclamation);
}

} // namespace tarn
