// Save Playlist and Load Playlist: the .TPL files of persist/playlist_file.h
// brought to the playlist lists, with the dialogs and messages around them.
#include "main_window/form1.h"
#include "persist/file_access.h"
#include "persist/playlist_file.h"

#include <QFile>
#include <QListWidget>

#include <algorithm>

namespace tarn {

namespace {

// Qt's own dialog matches the pattern in any case, so a.tpl is listed too.
const QString kPlaylistFilter = QStringLiteral("Tarn Player Playlist (*.TPL)");

static_assert(Form1::kMaxEntries == kPlaylistMaxEntries,
              "a playlist file is read up to the window's own limit");

QString refusalText(const QString &fileName, const PlaylistReadResult &read)
{
    switch (read.refusal) {
    case PlaylistRefusal::None:
        break;
    case PlaylistRefusal::Binary:
        return fileName + QStringLiteral(" is not a playlist file: line %1 holds binary data.")
                              .arg(read.refusedLine);
    case PlaylistRefusal::LineTooLong:
        return fileName + QStringLiteral(" is not a playlist file: line %1 is longer than a "
                                         "file path and a name can be.")
                              .arg(read.refusedLine);
    case PlaylistRefusal::TooLarge:
        return fileName + QStringLiteral(" is not a playlist file: it is larger than a playlist "
                                         "of %1 entries can be.")
                              .arg(kPlaylistMaxEntries);
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
    const QString failure = writeFileAtomically(fileName, written.bytes);
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

    QFile file(fileName);
    if (const QString openFailure = openRegularFile(file); !openFailure.isEmpty()) {
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

    appendEntries(read.entries);

    QString text = QStringLiteral("Playlist Imported");
    if (!read.endMarkerFound && !read.stoppedFull)
        text += QStringLiteral("\n\nThe file ended early, without its \"end\" line; the %1 "
                               "entries before that were loaded.")
                    .arg(read.entries.size());
    if (read.stoppedFull)
        text += QStringLiteral("\n\nThe playlist holds at most %1 entries: %2 entries of the "
                               "file were loaded, the rest were left out.")
                    .arg(kMaxEntries)
                    .arg(read.entries.size());
    const bool clean = read.endMarkerFound && !read.stoppedFull;
    services_.messages.show(text, clean ? MessageIcon::None : MessageIcon::Exclamation);
}

} // namespace tarn
