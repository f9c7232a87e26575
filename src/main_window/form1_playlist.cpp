// Playlist editing: Add, Add Multi, Remove.
//
// The playlist is List1 (full paths) and List2 (display names), kept parallel:
// every change touches List1 first, then List2, at the same row.
#include "main_window/form1.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <memory>

namespace tarn {

namespace {

const QString kAddTitle = QStringLiteral("Open MP3 Song...");
const QString kAddFilter = QStringLiteral("MP3 File (*.mp3);;(*.WMA)");
const QString kAddMultiTitle = QStringLiteral("Open files...");
const QString kAddMultiFilter = QStringLiteral("All supported formats (*.MP3 *.WMA *.WAV)");
constexpr QChar kNul(u'\0');

// Folder and name joined with one separator, also when the folder is the root.
QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

QString Form1::playlistFullText()
{
    return QStringLiteral("The playlist is full (%1 entries).").arg(kMaxEntries);
}

// Add: one file. The engine is switched to the new file and left stopped.
void Form1::Command1_Click()
{
    if (List1->count() >= kMaxEntries) {
        services_.messages.show(playlistFullText());
        return;
    }
    const QString path = services_.dialogs.getOpenFileName(kAddTitle, kAddFilter);
    if (path.isEmpty())
        return;

    mp.setFileName(path);
    // This open replaces any that a play path started; its outcome is not
    // reported to the track line, since nothing is to play.
    pendingOpen_ = OpenedBy::Nobody;
    openingName_ = QFileInfo(path).fileName();
    endAdvanceRun();
    Text1->setText(path);
    List1->addItem(path);
    List2->addItem(QFileInfo(path).fileName());
    Text1->setText(selectedText(List2) + QLatin1Char(' ') + Label3->text());
    if (mp.PlayStatus() == PlayState::Playing) {
        startDisplayTimer();
        showFileSize();
    } else {
        Timer1->stop();
    }
    mp.Stop();
}

// Add Multi: several files of one folder, appended in the dialog's order.
void Form1::Command11_Click()
{
    const QStringList pieces = GetFiles(kAddMultiTitle).split(kNul);
    if (pieces.first().isEmpty()) {
        services_.messages.show(QStringLiteral("No items Selected"));
        return;
    }

    QString folder = pieces.first();
    QStringList names = pieces.mid(1);
    if (names.isEmpty()) {
        // One file chosen: the result is its full path alone.
        const QFileInfo info(folder);
        folder = info.path();
        names = {info.fileName()};
    }

    const qsizetype room = kMaxEntries - List1->count();
    const bool full = names.size() > room;
    if (full)
        names.resize(room);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString &name : names)
        paths << joinPath(folder, name);
    // One insertion per list: a large selection goes in without a stall.
    List1->addItems(paths);
    List2->addItems(names);
    if (full)
        services_.messages.show(playlistFullText());
}

// The open dialog's choice in the shape Add Multi takes apart: nothing when
// cancelled, the full path alone for one file, otherwise the folder followed by
// each name, separated by NUL characters.
QString Form1::GetFiles(const QString &title)
{
    const QStringList paths = services_.dialogs.getOpenFileNames(title, kAddMultiFilter);
    if (paths.size() < 2)
        return paths.value(0);

    const QDir folder = QFileInfo(paths.first()).dir();
    QString result = folder.path();
    for (const QString &path : paths)
        result += kNul + folder.relativeFilePath(path);
    return result;
}

// Remove: the selected entry from both lists; playback goes on untouched.
void Form1::Command2_Click()
{
    const int index = selectedIndex(List2);
    if (index < 0 || index >= List1->count())
        return;
    const std::unique_ptr<QListWidgetItem> path(List1->takeItem(index));
    const std::unique_ptr<QListWidgetItem> name(List2->takeItem(index));
    setSelectedIndex(List2, -1);
    setSelectedIndex(List1, -1);
}

} // namespace tarn
