// The main window as the windows and services that stand in for it see it:
// the mini player, the tray, desktop media controls and the flag-file poll.
// They drive playback through the main window's own handlers, so a command
// from any of them does exactly what the main window's button does.
// UI thread only.
#pragma once

#include <QString>
#include <QStringList>

namespace tarn {

// The volume bars (the main window's, the mini player's) run from 0, silent,
// to kVolumeSteps, the loudest; a step is a hundredth of a decibel of the
// engine's volume, whose loudest is 0.
inline constexpr int kVolumeSteps = 2500;
constexpr int volumeForBar(int position)
{
    return position - kVolumeSteps;
}
constexpr int barForVolume(int hundredthsOfDb)
{
    return hundredthsOfDb + kVolumeSteps;
}

class MainWindowControls {
public:
    virtual ~MainWindowControls() = default;

    // Transport, as the main window's Play, Pause, Back, Stop and Next do it.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void back() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;

    // The volume bar's position, 0 (silent) to kVolumeSteps (loudest).
    virtual int volumePosition() const = 0;
    // Moves the volume bar to `position` (kept within its range) and sets the
    // engine's volume to volumeForBar() of it, once; the bar's own handling
    // updates its label.
    virtual void setVolumePosition(int position) = 0;

    // The current-track text ("No Track" until a track is chosen).
    virtual QString currentTrackText() const = 0;

    // Appends audio files, folders (searched for audio files) and playlist
    // files (.TPL, M3U) to the playlist; with `playFirst` the first entry
    // appended plays. Returns at once: the files are collected off the UI
    // thread and appended when found, after those of earlier calls. What
    // cannot be played is skipped and named on the track line, as is a full
    // playlist; no message box opens.
    virtual void openFiles(const QStringList &paths, bool playFirst) = 0;

    virtual void showMainWindow() = 0;
    virtual void hideMainWindow() = 0;
};

} // namespace tarn
