// The main window: playlist, transport, position/time/volume display, the two
// views and the menu bar, start-up and exit.
//
// The window keeps its state in its widgets: the playlist is the two parallel
// lists List1 (full paths, hidden) and List2 (display names), the current entry
// is their selection, the current-track text is Text1. Handlers are grouped by
// concern in form1_*.cpp files. Everything here runs on the UI thread.
//
// Other windows, the flag-file poll and the desktop's media controls drive
// this window through MainWindowControls and PlayerControls, which it
// implements with its own handlers; that is all it shows to others. The
// tests reach its controls and handlers through Form1Probe.
#pragma once

#include "controls/flag_files.h"
#include "controls/player_controls.h"
#include "platform/file_dialogs.h"
#include "platform/media_engine.h"
#include "platform/message_boxes.h"
#include "shell/shell_services.h"
#include "widgets/design_place.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QTimer;

namespace tarn {

class Bugs;
class Form2;
class Form3;
class Form4;
class FileImport;
class FrmAbout;
class HotSpot;
struct OpenedFiles;
struct PlaylistEntry;
class SettingsStore;

// Everything the main window reaches outside itself, injected so tests can
// pass fakes. The referenced objects outlive the window.
struct Form1Services {
    MediaEngine &mp;
    FileDialogs &dialogs;
    MessageBoxes &messages;
    SettingsStore &settings;
    QString appFolder;                           // where the state files live
    std::function<void()> endProgram;            // ends the run at once (no close handling)
    ShellServices shell = ShellServices::none(); // tray, registry, starting programs
    // Whether the window system keeps the mini player strip on top and
    // see-through (not on Wayland, where the compositor decides).
    bool stripOnTopAndOpacity = true;
    // Makes the visualisation window's engine, a new one at each of its
    // loadings; it plays the video beside `mp`, never through it.
    std::function<std::unique_ptr<MediaEngine>()> videoEngine = {};
};

class Form1 : public QMainWindow, public PlayerControls {
    Q_OBJECT
public:
    // Converts a design position in twips to pixels at 96 dpi.
    static constexpr int twips(int t) { return twipsToPixels(t); }
    static constexpr int kMaxEntries = 32767;

    explicit Form1(Form1Services services, QWidget *parent = nullptr);
    ~Form1() override;

    // ---- What other windows, processes and the desktop drive (form1_controls.cpp)
    void play() override;
    void pause() override;
    void back() override;
    void stop() override;
    void next() override;
    int volumePosition() const override;
    void setVolumePosition(int position) override;
    QString currentTrackText() const override;
    void showMainWindow() override;
    void hideMainWindow() override;

    // ---- Open-with, drops, media controls (form1_desktop.cpp)
    // Collected off the UI thread; the entries are appended when the search
    // is done, after those of earlier requests. Reports on the track line,
    // never in a message box: these come from other programs too.
    void openFiles(const QStringList &paths, bool playFirst) override;
    PlayState playStatus() const override;
    double positionSeconds() const override;
    void seekTo(double seconds) override; // form1_display.cpp, beside the slider's seek
    bool repeat() const override;
    void setRepeat(bool on) override;
    PlayerTrack currentTrack() const override;
    bool canGoNext() const override;
    bool canGoBack() const override;
    void bringToFront() override;
    void exitProgram() override; // Exit, as the Exit button does it
    void setChangeHandlers(std::function<void()> changed, std::function<void()> seeked) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override; // form1_views.cpp

private:
    // The tests' way in: the controls and handlers below (tests/fakes/form1_probe.h).
    friend class Form1Probe;

    // ---- Playlist (form1_playlist.cpp)
    void Command1_Click();  // Add: one file from a file dialog
    void Command11_Click(); // Add Multi: several files of one folder
    QString GetFiles(const QString &title);
    void Command2_Click(); // Remove: the selected entry

    // ---- Transport (form1_transport.cpp)
    void Play1_Click();
    void pause1_Click();
    void stop1_Click();
    void next1_Click();
    void Back1_Click();
    void List1_DblClick(); // play the selected entry
    void List2_DblClick();
    void List2_Click(); // keeps List1's selection on the entry the user picked
    void mp_EndOfStream();
    void mp_Opened(bool ok); // the outcome of an open that a play path started
    void Text1_Change();     // the track line follows Text1
    void Text1_GotFocus();   // Text1 and Text2 hand the focus on to List2
    void Text2_GotFocus();

    // ---- Position, time and volume (form1_display.cpp)
    void Timer1_Timer();
    void startDisplayTimer(); // the play paths: a first tick soon, then one a second
    void Slider1_Scroll();
    void HScroll1_Change();
    void mp_VolumeChanged(int hundredthsOfDb); // the desktop's mixer moved the player's volume

    // ---- Views and menus (form1_views.cpp)
    void Show_play_Click(); // toggles the full and the compact view
    void Mnu_Add_Click();
    void Mnu_Rem_Click();
    void Mnu_Exit_Click();
    void Lst_Show_Click();
    void Lst_Hide_Click();
    void Ctl_Mini_Click();

    // ---- Start-up and exit (form1_startup.cpp)
    void Form_Load();       // restores volume, repeat and view from the settings
    void Command10_Click(); // writes vol.ini
    void Command7_Click();  // Exit: saves the settings and ends the run

    // ---- Playlist files (form1_playlist_file.cpp)
    void Command8_Click(); // Save Playlist
    void Command9_Click(); // Load Playlist

    // ---- Windows of their own (form1_windows.cpp)
    void Command3_Click(); // Mini Controls: the mini player stands in for this window
    void Command4_Click(); // Visualisation
    void Command5_Click(); // Options
    void Command6_Click(); // About
    void showBugs();       // the bug-report window, from the About box

    // ---- Tray icon and its popup menu (form1_tray.cpp)
    void TrayIcon1_MenuRequest();
    void TrayIcon1_RestoreRequest();
    void TrayIcon1_InfoRequest();
    void itmShowMainWindow_Click();
    void Hide1_Click();
    void pop_Mini_Click();
    void cmd_About_Click();
    void Cmd_Exit_Click();
    // Opens `menu` at the pointer with `defaultItem` drawn in bold.
    void PopupMenu(QMenu *menu, QAction *defaultItem);
    // While the window is hidden into the tray: brings it back once the tray
    // host has gone, so the window is never out of reach.
    void trayWatch_Timer();

    void tmr_chk_Timer(); // the flag-file poll (form1_controls.cpp)

    FileImport &fileImport() { return *import_; }
    // The loaded About box and bug-report window, or null.
    FrmAbout *aboutBox() const;
    Bugs *bugsWindow() const;

    // ---- Selection of the playlist lists (-1 when none)
    static int selectedIndex(const QListWidget *list);
    static void setSelectedIndex(QListWidget *list, int index);
    static QString selectedText(const QListWidget *list);

    MediaEngine &mp;
    TrayIcon &TrayIcon1;

    // Controls, named as the design names them. Created in form1_layout.cpp;
    // each has its name as object name. "Hidden" controls lie right of the
    // client area: never seen, they hold state or act as procedures.
    QWidget *client = nullptr;        // the client area (central widget)
    QLabel *Image5 = nullptr;         // the background picture of the upper part
    QPushButton *Command7 = nullptr;  // Exit
    QLabel *txtTime = nullptr;        // the elapsed time, e.g. 03:45
    QLabel *Label3 = nullptr;         // the length of the current file, "/  03:45"
    QPushButton *Command3 = nullptr;  // Mini Controls: the strip instead of this window
    QPushButton *Show_play = nullptr; // Show Playlist / Hide Playlist: the view toggle
    QLabel *lbl_track = nullptr;      // the visible track line, "Now Playing : ..."
    QSlider *Slider1 = nullptr;       // the position, in whole seconds; dragging it seeks
    QLabel *Image2 = nullptr;         // the picture of the five transport buttons
    HotSpot *Back1 = nullptr;         // the five hot spots over Image2: Back,
    HotSpot *Play1 = nullptr;         // Play,
    HotSpot *pause1 = nullptr;        // Pause,
    HotSpot *stop1 = nullptr;         // Stop
    HotSpot *next1 = nullptr;         // and Next
    QLabel *lbl_vol = nullptr;        // the volume in percent, "Volume 40 %"
    QLabel *Image1 = nullptr;         // a small icon at the volume bar's end
    QCheckBox *Check1 = nullptr;      // Repeat: the playlist starts again after its last entry
    QScrollBar *HScroll1 = nullptr;   // the volume bar, 0 to kVolumeSteps
    QPushButton *Command8 = nullptr;  // Save Playlist (full view)
    QPushButton *Command9 = nullptr;  // Load Playlist (full view)
    QPushButton *Command11 = nullptr; // Add Multi (full view)
    QPushButton *Command1 = nullptr;  // Add (full view)
    QPushButton *Command2 = nullptr;  // Remove (full view)
    QPushButton *Command4 = nullptr;  // Visualizitions: the video window (full view)
    QPushButton *Command5 = nullptr;  // Options: the strip's opacity (full view)
    QPushButton *Command6 = nullptr;  // About (full view)
    QListWidget *List2 = nullptr;     // the playlist as shown: display names (full view)
    QListWidget *List1 = nullptr;     // hidden: the full paths, entry by entry beside List2
    QGroupBox *Frame1 = nullptr;      // hidden: the frame "Now Playing..." around Text1
    QLineEdit *Text1 = nullptr;       // hidden: the current-track text the track line shows
    QLineEdit *Text2 = nullptr;       // hidden: in the tab order only, hands the focus on
    QLabel *Label4 = nullptr;         // hidden: "File Size: N KB's" of the current file
    QPushButton *Command10 = nullptr; // hidden, reached with Tab: writes vol.ini
    QRadioButton *optRES = nullptr;   // hidden, always selected: enables the automatic advance
    QTimer *Timer1 = nullptr;         // the display tick while something plays
    QTimer *tmr_chk = nullptr;        // the flag-file poll, twice a second

    // Menu bar
    QMenu *File = nullptr;       // File: Add File, Remove File, Exit
    QAction *Mnu_Add = nullptr;  // Add File (Ctrl+A), as Add
    QAction *Mnu_Rem = nullptr;  // Remove File (Ctrl+R), as Remove
    QAction *Mnu_Exit = nullptr; // Exit, as the Exit button
    QMenu *Mnu_View = nullptr;   // View: Show/Hide Play List, Mini Controls
    QAction *Lst_Show = nullptr; // Show Play List (Ctrl+S): the view toggle, in the compact view
    QAction *Lst_Hide = nullptr; // Hide Play List (Ctrl+H): the view toggle, in the full view
    QAction *Sep1 = nullptr;
    QAction *Ctl_Mini = nullptr;          // Mini Controls (Ctrl+M), as Command3
    QMenu *mnuPop = nullptr;              // the tray's popup; never in the menu bar
    QAction *itmShowMainWindow = nullptr; // Show Tarn Player (bold)
    QAction *Hide1 = nullptr;             // Hide Tarn Player: into the tray, playback goes on
    QAction *pop_Mini = nullptr;          // Mini Controls
    QAction *Sep2 = nullptr;
    QAction *cmd_About = nullptr; // About
    QAction *Cmd_Exit = nullptr;  // Exit: shows the window and exits as Exit does
    QTimer *trayWatch = nullptr;  // runs while the window is hidden into the tray

    // 1 while the full view (with the playlist) is on, 0 for the compact view.
    std::int16_t playlistShown = 0;

    static constexpr int kFirstTickMs = 50; // Timer1's first tick after a play path
    void buildLayout();                     // form1_layout.cpp
    void buildMenus();                      // form1_layout.cpp
    void styleControls();                   // form1_layout.cpp: fonts, colours, widths
    void buildTabOrder();                   // form1_layout.cpp
    void buildPopup();                      // form1_tray.cpp: mnuPop and its items
    void setUpTray();                       // form1_tray.cpp: the last steps of start-up
    // form1_views.cpp: puts the window into the full view (playlist shown) or
    // the compact view: height, Show_play's caption, menu states and the flag.
    void applyView(bool full);
    void wire();         // form1.cpp: every signal connection, in one place
    void showFileSize(); // Label4 "File Size: N KB's" for the engine's file
    // Track line: the entry `name` cannot be played, and the engine's reason.
    void showUnplayable(const QString &name, const QString &reason);
    void showNotice(const QString &text); // a line of its own on the track line, held there
    bool showPlayError();                 // after Play: shows why nothing sounds, if so; true then
    void endOfPlaylist();                 // stops and shows the end-of-playlist line

    // form1_transport.cpp: the automatic advance, one entry per event.
    enum class OpenedBy { Nobody, User, Advance };
    int advanceTarget() const;   // the entry the advance plays next, -1 for the playlist's end
    void advance();              // opens that entry, or ends the playlist
    void startOpen(OpenedBy by); // sets the engine's file to the entry selected in List1
    void endAdvanceRun();        // a user's transport action: no more skipping on failure
    void scheduleNextFileName(); // the advance's next file to the engine, once per event
    void updateNextFileName();

    // form1_layout.cpp: lbl_track shows the line cut to its width with "…";
    // the whole line is its tooltip.
    void setTrackLine(const QString &line);
    void elideTrackLine();

    static QString playlistFullText(); // form1_playlist.cpp
    // form1_desktop.cpp: the playlist's new entries, in one insertion per list.
    void appendEntries(const QList<PlaylistEntry> &entries);
    void openedFilesArrived(const OpenedFiles &opened, bool playFirst); // from import_
    bool handleFileDrop(QEvent *event); // a drag over the playlist; true: taken
    void notifyChanged();               // runs the changed handler once, from the event loop
    void notifySeeked();

    Form1Services services_;
    bool exiting_ = false;    // Exit has run: the close box or a second Exit does nothing more
    bool sliderHeld_ = false; // the user holds Slider1's thumb: ticks leave it alone
    bool followingMixer_ =
        false; // the volume bar moves to the engine's volume, not it to the bar's
    // The end-of-playlist line or a failure's reason stays until something plays.
    bool trackLineHeld_ = false;
    OpenedBy pendingOpen_ = OpenedBy::Nobody; // who started the open the engine will report
    QString openingName_;                     // display name of that entry, for the track line
    bool advancing_ = false;       // an unplayable entry makes the advance go on to the next
    int advanceFailures_ = 0;      // unplayable entries in a row in this advance run
    bool nextFileNameDue_ = false; // a next-file update is posted
    QString trackLine_;            // lbl_track's whole text
    std::function<void()> changedHandler_; // the desktop's media controls
    std::function<void()> seekedHandler_;
    bool changeDue_ = false; // a changed notice is posted
    FlagPoll flagPoll_;
    std::unique_ptr<FileImport> import_; // files handed over from outside, being collected
    std::unique_ptr<Form2> form2_;       // the mini player while it is loaded
    std::unique_ptr<Form4> form4_; // the Options window, kept once loaded (it holds its value)
    QPointer<Form3> form3_;        // the visualisation window while it is loaded
    QPointer<FrmAbout> aboutBox_;  // loaded on the first request, unloaded by its OK
    QPointer<Bugs> bugsWindow_;
};

} // namespace tarn
