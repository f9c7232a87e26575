// What the desktop drives: files opened with the player or handed over by a
// second start, files dropped on the playlist, and the state the desktop's
// media controls read and set. Every action runs the window's own handlers.
#include "main_window/form1.h"
#include "mini/form2.h"
#include "persist/file_import.h"
#include "persist/opened_files.h"
#include "widgets/bring_forward.h"
#include "widgets/file_drop.h"

#include <QCheckBox>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace tarn {

void Form1::openFiles(const QStringList &paths, bool playFirst)
{
    if (paths.isEmpty() || exiting_)
        return;
    if (!import_->request(paths, playFirst))
        showNotice(QStringLiteral("Too many files are being opened at once; the latest were left "
                                  "out"));
}

void Form1::openedFilesArrived(const OpenedFiles &opened, bool playFirst)
{
    // Whatever was added since the search started (Add, Load Playlist)
    // took room too.
    QList<PlaylistEntry> entries = opened.entries;
    bool full = opened.full;
    if (const qsizetype room = kMaxEntries - List1->count(); entries.size() > room) {
        entries.resize(std::max<qsizetype>(0, room));
        full = true;
    }
    const int first = List1->count();
    appendEntries(entries);

    // One line for everything left out. Other programs can ask for files any
    // number of times: no message box, and no more than this one line.
    QStringList notes;
    if (!opened.skipped.isEmpty()) {
        const SkippedFile &skip = opened.skipped.first();
        const qsizetype more = opened.skipped.size() - 1;
        notes << skip.name + QStringLiteral(" cannot be played: ") + skip.reason +
                     (more == 0 ? QString() : QStringLiteral(" (and %1 more)").arg(more));
    }
    if (opened.notUtf8 == 1)
        notes << QStringLiteral("1 file or folder whose name is not valid UTF-8 was left out");
    else if (opened.notUtf8 > 1)
        notes << QStringLiteral("%1 files or folders whose names are not valid UTF-8 were left out")
                     .arg(opened.notUtf8);
    if (opened.foldersStopped)
        notes << QStringLiteral("A newer request stopped the folder search");
    if (opened.searchCut)
        notes << QStringLiteral("The folder search stopped after %1 files and folders")
                     .arg(opened.visited);
    if (full)
        notes << playlistFullText();
    if (!notes.isEmpty())
        showNotice(notes.join(QStringLiteral("; ")));

    if (playFirst && List1->count() > first) {
        setSelectedIndex(List1, first);
        setSelectedIndex(List2, first);
        List1_DblClick();
    }
}

void Form1::appendEntries(const QList<PlaylistEntry> &entries)
{
    QStringList paths;
    QStringList names;
    paths.reserve(entries.size());
    names.reserve(entries.size());
    for (const PlaylistEntry &entry : entries) {
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
}

bool Form1::handleFileDrop(QEvent *event)
{
    if (const QStringList paths = takeFileDrop(event); !paths.isEmpty())
        QTimer::singleShot(0, this, [this, paths] { openFiles(paths, false); });
    return true;
}

PlayState Form1::playStatus() const
{
    const PlayState status = mp.PlayStatus();
    return status == PlayState::Stopped && pendingOpen_ != OpenedBy::Nobody ? PlayState::Playing
                                                                            : status;
}

double Form1::positionSeconds() const
{
    return mp.Position();
}

bool Form1::repeat() const
{
    return Check1->isChecked();
}

void Form1::setRepeat(bool on)
{
    Check1->setChecked(on);
}

PlayerTrack Form1::currentTrack() const
{
    return {mp.FileName(), openingName_, mp.Length()};
}

bool Form1::canGoNext() const
{
    return advanceTarget() >= 0;
}

bool Form1::canGoBack() const
{
    return selectedIndex(List2) >= 0;
}

void Form1::bringToFront()
{
    if (form2_)
        bringForward(form2_.get());
    else
        showMainWindow();
}

void Form1::exitProgram()
{
    Command7_Click();
}

void Form1::setChangeHandlers(std::function<void()> changed, std::function<void()> seeked)
{
    changedHandler_ = std::move(changed);
    seekedHandler_ = std::move(seeked);
}

void Form1::notifyChanged()
{
    if (!changedHandler_ || std::exchange(changeDue_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            changeDue_ = false;
            if (changedHandler_)
                changedHandler_();
        },
        Qt::QueuedConnection);
}

void Form1::notifySeeked()
{
    if (seekedHandler_)
        seekedHandler_();
}

} // namespace tarn
