// Transport: the five hot spots, playing the selected entry, the automatic
// advance at the end of a track, and the current-track line.
//
// The current entry is the selection of List1 and List2; a click in List2
// moves List1's selection too, so both always name the same entry.
//
// Opening is asynchronous: a play path starts the open and the engine reports
// the outcome later through mp_Opened. The automatic advance therefore moves
// one entry per event: an entry that cannot be played makes the next event go
// on to the following one, so the window stays responsive over a playlist of
// missing files, and a run of failures ends after kMaxFailedAdvances entries
// or one full pass.
#include "main_window/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace tarn {

namespace {

// Unplayable entries in a row after which the advance gives up.
constexpr int kMaxFailedAdvances = 10;

} // namespace

void Form1::Play1_Click()
{
    endAdvanceRun();
    mp.Play();
    startDisplayTimer();
    showPlayError();
    notifyChanged();
}

// The tick shows the paused position and, finding nothing playing, stops.
void Form1::pause1_Click()
{
    endAdvanceRun();
    mp.Pause();
    Timer1_Timer();
}

// Stop rewinds the held file; the seek's tick shows 0 and stops the timer.
void Form1::stop1_Click()
{
    endAdvanceRun();
    mp.Stop();
    Slider1->setValue(Slider1->minimum());
    Slider1_Scroll();
}

// Next: the entry after the selected one (entry 0 when none is selected).
// On the last entry it wraps to entry 0 only with Repeat ticked.
void Form1::next1_Click()
{
    const int next = advanceTarget();
    if (next < 0)
        return;
    setSelectedIndex(List1, next);
    setSelectedIndex(List2, next);
    List1_DblClick();
}

// Back: the entry before the selected one; on the first entry it plays that
// entry again from its start.
void Form1::Back1_Click()
{
    const int current = selectedIndex(List2);
    if (current < 0)
        return;
    const int back = std::max(current - 1, 0);
    setSelectedIndex(List1, back);
    setSelectedIndex(List2, back);
    List1_DblClick();
}

// Plays the entry selected in List1. Whether it plays, and whether there is
// sound output for it, is known in mp_Opened.
void Form1::List1_DblClick()
{
    if (selectedIndex(List1) < 0)
        return;
    endAdvanceRun();
    startOpen(OpenedBy::User);
    mp.Play();
    setWindowTitle(selectedText(List1));
    showFileSize();
    Text1->setText(openingName_ + QLatin1Char(' ') + Label3->text());
    startDisplayTimer();
}

void Form1::List2_DblClick()
{
    setSelectedIndex(List1, selectedIndex(List2));
    List1_DblClick();
}

void Form1::List2_Click()
{
    setSelectedIndex(List1, selectedIndex(List2));
}

void Form1::startOpen(OpenedBy by)
{
    const QString path = selectedText(List1);
    const bool restart = !path.isEmpty() && path == mp.FileName();
    openingName_ = selectedText(List2);
    mp.setFileName(path);
    pendingOpen_ = by;
    // The engine may have used or dropped its next file with this open.
    scheduleNextFileName();
    if (restart)
        notifySeeked();
}

void Form1::endAdvanceRun()
{
    advancing_ = false;
    advanceFailures_ = 0;
}

// End of the current track: the following entry, entry 0 again with Repeat
// ticked, or the end-of-playlist line.
void Form1::mp_EndOfStream()
{
    if (!optRES->isChecked())
        return;
    advancing_ = true;
    advanceFailures_ = 0;
    advance();
}

int Form1::advanceTarget() const
{
    const int count = List2->count();
    const int current = selectedIndex(List2);
    if (current < count - 1)
        return current + 1;
    return count > 0 && Check1->isChecked() ? 0 : -1;
}

void Form1::advance()
{
    const int next = advanceTarget();
    if (next < 0) {
        endAdvanceRun();
        endOfPlaylist();
        return;
    }
    setSelectedIndex(List1, next);
    setSelectedIndex(List2, next);
    startOpen(OpenedBy::Advance);
    Text1->setText(openingName_);
    mp.Play();
    mp.setFlag1017(true);
}

void Form1::mp_Opened(bool ok)
{
    notifyChanged(); // the length is known, or the file failed
    const OpenedBy by = std::exchange(pendingOpen_, OpenedBy::Nobody);
    if (by == OpenedBy::Nobody)
        return; // Add's open: nothing is to play
    if (!ok) {
        showUnplayable(openingName_, mp.LastError());
        if (!advancing_)
            return;
        // Gives up after a run of failures, or once every entry has failed.
        if (++advanceFailures_ < std::min(kMaxFailedAdvances, List2->count())) {
            advance();
        } else {
            endAdvanceRun();
            endOfPlaylist();
        }
        return;
    }
    // The file is open: the advance run is over, also when no sound output
    // could be opened, for which every further entry would fail alike.
    endAdvanceRun();
    if (showPlayError())
        return;
    if (by == OpenedBy::Advance) {
        // The caption and size follow the track that now plays.
        setWindowTitle(mp.FileName());
        showFileSize();
    } else {
        Text1->setText(openingName_ + QLatin1Char(' ') + Label3->text());
    }
    // A tick during the open found nothing playing yet and stopped.
    startDisplayTimer();
}

void Form1::endOfPlaylist()
{
    mp.Stop();
    Text1->setText(QStringLiteral("End of playlist"));
    setTrackLine(QStringLiteral("Now Playing :- End Of Playlist"));
    // Keeps the display tick from rewriting the track line at once.
    trackLineHeld_ = true;
}

bool Form1::showPlayError()
{
    if (mp.LastError().isEmpty())
        return false;
    showUnplayable(openingName_.isNull() ? selectedText(List2) : openingName_, mp.LastError());
    return true;
}

void Form1::showUnplayable(const QString &name, const QString &reason)
{
    showNotice(name + QStringLiteral(" cannot be played: ") + reason);
}

void Form1::showNotice(const QString &text)
{
    // The time of a track played before would be wrong next to this line.
    txtTime->setText(QStringLiteral(" "));
    Label3->setText(QStringLiteral(" "));
    Text1->setText(text);
    // With no sound output the file is open and has a length, which the
    // display tick would put back on the line at once.
    trackLineHeld_ = true;
}

void Form1::scheduleNextFileName()
{
    // Posted, so that one handler's many changes give one hint, and so that
    // the advance's own move of the selection reaches the engine only after
    // the advance has opened the file the engine prepared.
    if (std::exchange(nextFileNameDue_, true))
        return;
    QMetaObject::invokeMethod(
        this, [this] { updateNextFileName(); }, Qt::QueuedConnection);
}

void Form1::updateNextFileName()
{
    nextFileNameDue_ = false;
    const QListWidgetItem *next = List1->item(advanceTarget()); // null for -1
    mp.setNextFileName(next ? next->text() : QString());
}

void Form1::Text1_Change()
{
    setTrackLine(QStringLiteral("Now Playing : ") + Text1->text());
}

// Text1 and Text2 lie outside the window but are in the tab order.
void Form1::Text1_GotFocus()
{
    List2->setFocus();
}

void Form1::Text2_GotFocus()
{
    List2->setFocus();
}

} // namespace tarn
