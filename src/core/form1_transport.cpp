// Transport: the five hot spots, playing the selected entry, the automatic
// advance at the end of a track, and the current-track line.
//
// The current entry is the selection of List1 and List2; a click in List2
// moves List1's selection too, so both always name the same entry.
#include "core/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>

namespace tarn {

void Form1::Play1_Click()
{
    mp.Play();
    Timer1->start();
}

void Form1::pause1_Click()
{
    mp.Pause();
}

// Stop rewinds the held file; Timer1 keeps running so the display follows.
void Form1::stop1_Click()
{
    mp.Stop();
    Slider1->setValue(Slider1->minimum());
    Slider1_Scroll();
}

// Next: the entry after the selected one (entry 0 when none is selected).
// On the last entry it wraps to entry 0 only with Repeat ticked.
void Form1::next1_Click()
{
    const int count = List2->count();
    int next = selectedIndex(List2) + 1;
    if (next >= count) {
        if (count == 0 || !Check1->isChecked())
            return;
        next = 0;
    }
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

// Plays the entry selected in List1.
void Form1::List1_DblClick()
{
    if (selectedIndex(List1) < 0)
        return;
    const QString path = selectedText(List1);
    mp.setFileName(path);
    const bool playable = mp.LastError().isEmpty();
    if (playable)
        mp.Play();
    setWindowTitle(path);
    showFileSize();
    if (!playable) {
        showUnplayable();
        return;
    }
    Text1->setText(selectedText(List2) + QLatin1Char(' ') + Label3->text());
    Timer1->start();
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

// End of the current track: the following entry, entry 0 again with Repeat
// ticked, or the end-of-playlist line. An entry that cannot be opened is
// passed over as if it had ended at once; after trying every entry without
// playing one the advance stops instead of going round for ever.
void Form1::mp_EndOfStream()
{
    if (!optRES->isChecked())
        return;
    for (int failed = 0;;) {
        const int count = List2->count();
        const int current = selectedIndex(List2);
        int next = current + 1;
        if (count == 0 || current == count - 1) {
            if (count == 0 || !Check1->isChecked()) {
                endOfPlaylist();
                return;
            }
            next = 0;
        }
        setSelectedIndex(List1, next);
        setSelectedIndex(List2, next);
        mp.setFileName(selectedText(List1));
        if (mp.LastError().isEmpty()) {
            Text1->setText(selectedText(List2));
            mp.Play();
            mp.setFlag1017(true);
            return;
        }
        showUnplayable();
        if (++failed >= count) {
            endOfPlaylist();
            return;
        }
    }
}

void Form1::endOfPlaylist()
{
    mp.Stop();
    Text1->setText(QStringLiteral("End of playlist"));
    lbl_track->setText(QStringLiteral("Now Playing :- End Of Playlist"));
    // Keeps the display tick from rewriting the track line at once.
    playlistEnded_ = true;
}

void Form1::showUnplayable()
{
    // The time of a track played before would be wrong next to this line.
    txtTime->setText(QStringLiteral(" "));
    Label3->setText(QStringLiteral(" "));
    Text1->setText(selectedText(List2) + QStringLiteral(" cannot be played: ") + mp.LastError());
}

void Form1::Text1_Change()
{
    lbl_track->setText(QStringLiteral("Now Playing : ") + Text1->text());
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
