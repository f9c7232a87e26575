#include "main_window/form1.h"
#include "mini/form2.h"
#include "mini/form4.h"
#include "persist/file_import.h"
#include "widgets/file_drop.h"
#include "widgets/hot_spot.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

namespace tarn {

Form1::Form1(Form1Services services, QWidget *parent)
    : QMainWindow(parent), mp(services.mp), TrayIcon1(services.shell.tray),
      services_(std::move(services))
{
    setObjectName(QStringLiteral("Form1"));
    import_ =
        std::make_unique<FileImport>([this] { return qsizetype(kMaxEntries - List1->count()); },
                                     [this](const OpenedFiles &opened, bool playFirst) {
                                         openedFilesArrived(opened, playFirst);
                                     });
    buildLayout();
    buildMenus();
    wire();
    Form_Load();
    tmr_chk->start(); // for the window's whole life, shown or hidden
}

Form1::~Form1()
{
    // A search in a hung folder is left to end on its own; nothing reaches here.
    import_.reset();
    // The engine outlives the window: nothing of this window may run after it.
    mp.setEndOfStreamHandler({});
    mp.setOpenedHandler({});
    mp.setPlayFailedHandler({});
    mp.setVolumeChangedHandler({});
    TrayIcon1.setRequestHandler({});
    // The lists empty themselves as the base classes delete them, when this
    // class's part is gone: their signals must not reach its handlers then.
    for (QListWidget *list : {List1, List2}) {
        list->model()->disconnect(this);
        list->disconnect(this);
    }
}

void Form1::wire()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Show_play, &QPushButton::clicked, this, &Form1::Show_play_Click);

    connect(Back1, &HotSpot::clicked, this, &Form1::Back1_Click);
    connect(Play1, &HotSpot::clicked, this, &Form1::Play1_Click);
    connect(pause1, &HotSpot::clicked, this, &Form1::pause1_Click);
    connect(stop1, &HotSpot::clicked, this, &Form1::stop1_Click);
    connect(next1, &HotSpot::clicked, this, &Form1::next1_Click);

    connect(List1, &QListWidget::itemDoubleClicked, this, &Form1::List1_DblClick);
    connect(List2, &QListWidget::itemDoubleClicked, this, &Form1::List2_DblClick);
    // Clicks and arrow keys alike: List1 always follows List2's selection.
    connect(List2, &QListWidget::itemSelectionChanged, this, &Form1::List2_Click);
    List2->installEventFilter(this); // Return plays the selected entry
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    Text1->installEventFilter(this);
    Text2->installEventFilter(this);

    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(tmr_chk, &QTimer::timeout, this, &Form1::tmr_chk_Timer);
    connect(Slider1, &QSlider::sliderPressed, this, [this] { sliderHeld_ = true; });
    // The drag has already sought to where the thumb is let go.
    connect(Slider1, &QSlider::sliderReleased, this, [this] { sliderHeld_ = false; });
    connect(Slider1, &QSlider::sliderMoved, this, &Form1::Slider1_Scroll);
    connect(Slider1, &QSlider::actionTriggered, this, [this](int action) {
        // Clicks on the groove and keys move the value after this signal.
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            QTimer::singleShot(0, this, &Form1::Slider1_Scroll);
    });
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::HScroll1_Change);
    lbl_track->installEventFilter(this); // a new width cuts the track line anew

    // The engine prepares the file the automatic advance will play next, and
    // the desktop's media controls hear whether Next and Back can go on.
    for (auto notify : {&Form1::scheduleNextFileName, &Form1::notifyChanged}) {
        for (QListWidget *list : {List1, List2}) {
            QAbstractItemModel *model = list->model();
            connect(model, &QAbstractItemModel::rowsInserted, this, notify);
            connect(model, &QAbstractItemModel::rowsRemoved, this, notify);
            connect(model, &QAbstractItemModel::modelReset, this, notify);
        }
        connect(List2, &QListWidget::itemSelectionChanged, this, notify);
        connect(Check1, &QCheckBox::toggled, this, notify);
    }
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::notifyChanged);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::notifyChanged);
    // Files dropped on the playlist are appended.
    List2->viewport()->installEventFilter(this);
    List2->setAcceptDrops(true);

    connect(Mnu_Add, &QAction::triggered, this, &Form1::Mnu_Add_Click);
    connect(Mnu_Rem, &QAction::triggered, this, &Form1::Mnu_Rem_Click);
    connect(Mnu_Exit, &QAction::triggered, this, &Form1::Mnu_Exit_Click);
    connect(Lst_Show, &QAction::triggered, this, &Form1::Lst_Show_Click);
    connect(Lst_Hide, &QAction::triggered, this, &Form1::Lst_Hide_Click);
    connect(Ctl_Mini, &QAction::triggered, this, &Form1::Ctl_Mini_Click);

    connect(itmShowMainWindow, &QAction::triggered, this, &Form1::itmShowMainWindow_Click);
    connect(Hide1, &QAction::triggered, this, &Form1::Hide1_Click);
    connect(pop_Mini, &QAction::triggered, this, &Form1::pop_Mini_Click);
    connect(cmd_About, &QAction::triggered, this, &Form1::cmd_About_Click);
    connect(Cmd_Exit, &QAction::triggered, this, &Form1::Cmd_Exit_Click);
    connect(trayWatch, &QTimer::timeout, this, &Form1::trayWatch_Timer);
    TrayIcon1.setRequestHandler([this](TrayRequest request) {
        switch (request) {
        case TrayRequest::Menu:
            TrayIcon1_MenuRequest();
            break;
        case TrayRequest::Restore:
            TrayIcon1_RestoreRequest();
            break;
        case TrayRequest::Information:
            TrayIcon1_InfoRequest();
            break;
        }
    });

    mp.setEndOfStreamHandler([this] { mp_EndOfStream(); });
    mp.setOpenedHandler([this](bool ok) { mp_Opened(ok); });
    mp.setPlayFailedHandler([this] { showPlayError(); });
    mp.setVolumeChangedHandler([this](int volume) { mp_VolumeChanged(volume); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (isDragEvent(event) && watched == List2->viewport())
        return handleFileDrop(event);
    if (watched == List2 && event->type() == QEvent::KeyPress) {
        // Return and Enter play the selected entry as a double-click does.
        // The list would only report the key as an activation, which a
        // double-click also gives, so the key is taken here.
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
            selectedIndex(List2) >= 0) {
            if (!key->isAutoRepeat()) // a held key starts the entry once
                List2_DblClick();
            return true;
        }
    } else if (watched == lbl_track &&
               (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)) {
        elideTrackLine();
    } else if (event->type() == QEvent::FocusIn && (watched == Text1 || watched == Text2) &&
               static_cast<QFocusEvent *>(event)->reason() == Qt::BacktabFocusReason) {
        // Shift+Tab from the playlist passes the hidden text boxes on backwards;
        // sending it to the playlist would trap the focus there.
        focusNextPrevChild(false);
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == Text1)
            Text1_GotFocus();
        else if (watched == Text2)
            Text2_GotFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

int Form1::selectedIndex(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void Form1::setSelectedIndex(QListWidget *list, int index)
{
    if (index >= 0 && index < list->count()) {
        list->setCurrentRow(index);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
}

QString Form1::selectedText(const QListWidget *list)
{
    const int index = selectedIndex(list);
    return index < 0 ? QString() : list->item(index)->text();
}

void Form1::showFileSize()
{
    // A missing file shows 0.
    const qint64 bytes = QFileInfo(mp.FileName()).size();
    Label4->setText(QStringLiteral("File Size: ") + QString::number(bytes / 1000) +
                    QStringLiteral(" KB's"));
}

} // namespace tarn
