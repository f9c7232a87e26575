// The main window's two views, menu bar, keyboard order and artwork.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "widgets/hot_spot.h"
#include "widgets/svg_picture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr int kButtonRowsTop = 224; // first pixel row of the two button rows
constexpr int kPlaylistBottom = 443;

void putInView(Form1 &f, bool full)
{
    if ((probe(f).playlistShown() == 1) != full)
        probe(f).Show_play_Click();
}

// Everything the view toggle sets, in one comparable line.
QString viewState(Form1 &f)
{
    return QStringLiteral("flag=%1 size=%2x%3 caption=%4 show=%5 hide=%6")
        .arg(probe(f).playlistShown())
        .arg(f.width())
        .arg(f.height())
        .arg(probe(f).Show_play->text())
        .arg(probe(f).Lst_Show->isEnabled())
        .arg(probe(f).Lst_Hide->isEnabled());
}

// Everything a button or menu procedure may change, in one comparable text.
QString outcome(Form1Harness &h)
{
    Form1 &f = *h.form;
    QStringList out;
    for (const QListWidget *list : {probe(f).List1, probe(f).List2}) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        out << items.join(QLatin1Char('|')) << QString::number(Form1Probe::selectedIndex(list));
    }
    for (const DialogCall &call : h.dialogs.calls)
        out << call.kind + QLatin1Char(':') + call.title + QLatin1Char(':') + call.filter;
    out << h.messages.texts() << QString::number(h.endProgramCalls) << viewState(f)
        << probe(f).lbl_track->text() << probe(f).Text1->text() << f.windowTitle();
    for (auto it = h.settings.values.cbegin(); it != h.settings.values.cend(); ++it)
        out << it.key() + QLatin1Char('=') + it.value();
    const QDir folder(h.appFolder.path());
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        out << name + QLatin1Char('=') +
                   QString::fromLatin1(file.open(QIODevice::ReadOnly) ? file.readAll().toHex()
                                                                      : QByteArray("?"));
    }
    return out.join(QLatin1Char('\n'));
}

void showActive(Form1 &f)
{
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
}

double luminance(QColor c)
{
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

class ViewsTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a toggle that drifts (height, caption or menu states not
    // restored), leaves both menu items enabled or both disabled, or touches
    // the playlist or its selection.
    void twoTogglesGiveBackTheView_data() { bothViews(); }
    void twoTogglesGiveBackTheView()
    {
        QFETCH(bool, full);
        Form1Harness h;
        Form1 &f = h.create();
        putInView(f, full);
        probe(f).List1->addItems({QStringLiteral("/a.mp3"), QStringLiteral("/b.mp3")});
        probe(f).List2->addItems({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        Form1Probe::setSelectedIndex(probe(f).List1, 1);
        Form1Probe::setSelectedIndex(probe(f).List2, 1);
        const QString before = viewState(f);
        probe(f).Show_play_Click();
        QCOMPARE(probe(f).Lst_Show->isEnabled() + probe(f).Lst_Hide->isEnabled(), 1);
        QCOMPARE(probe(f).playlistShown(), std::int16_t(full ? 0 : 1));
        QVERIFY(viewState(f) != before);
        probe(f).Show_play_Click();
        QCOMPARE(probe(f).Lst_Show->isEnabled() + probe(f).Lst_Hide->isEnabled(), 1);
        QCOMPARE(viewState(f), before);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), 1);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 1);
        QCOMPARE(probe(f).List2->count(), 2);
    }

    // Guards: the compact view showing part of the button rows or the list
    // (or cutting off its own controls), and the full view cutting off the
    // playlist; a window the user could resize, maximise or minimise.
    void viewsCutAtTheButtonRows_data() { bothViews(); }
    void viewsCutAtTheButtonRows()
    {
        QFETCH(bool, full);
        Form1Harness h;
        Form1 &f = h.create();
        showActive(f);
        putInView(f, full);
        const int expected = f.height() - f.menuBar()->height();
        QTRY_COMPARE(probe(f).client->height(), expected);
        QCOMPARE(probe(f).client->geometry().bottom(), f.height() - 1);
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QCOMPARE(f.width(), 525);
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

        const int clientHeight = probe(f).client->height();
        for (const char *name :
             {"Image5", "Command7", "txtTime", "Label3", "Command3", "Show_play", "lbl_track",
              "Slider1", "Image2", "Back1", "next1", "lbl_vol", "Image1", "Check1", "HScroll1"}) {
            const QWidget *w = f.findChild<QWidget *>(name);
            QVERIFY2(w && w->isVisible(), name);
            QVERIFY2(w->geometry().bottom() < clientHeight, name);
        }
        for (const char *name : {"Command8", "Command9", "Command11", "Command1", "Command2",
                                 "Command4", "Command5", "Command6", "List2"}) {
            const QWidget *w = f.findChild<QWidget *>(name);
            QVERIFY2(w, name);
            if (full) {
                QVERIFY2(w->isVisible(), name);
                QVERIFY2(w->geometry().bottom() < clientHeight, name);
            } else {
                QVERIFY2(!w->isVisible() || w->y() >= clientHeight, name);
            }
        }
        if (full)
            QCOMPARE(probe(f).List2->geometry().bottom() + 1, kPlaylistBottom);
        else
            QVERIFY(clientHeight <= kButtonRowsTop);
    }

    // Guards: a window manager minimising the window, which has no task-bar
    // entry to bring it back from.
    void minimisedWindowComesBack()
    {
        Form1Harness h;
        Form1 &f = h.create();
        showActive(f);
        f.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!f.isMinimized());
        QVERIFY(f.isVisible());
    }

    // Guards: a menu item that does something other than its button.
    void menuItemDoesWhatItsButtonDoes_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("full");
        row("add", "Command1", "Mnu_Add", false);
        row("remove", "Command2", "Mnu_Rem", true);
        row("exit", "Command7", "Mnu_Exit", true);
        row("show list", "Show_play", "Lst_Show", false);
        row("hide list", "Show_play", "Lst_Hide", true);
        row("mini controls", "Command3", "Ctl_Mini", false);
    }
    void menuItemDoesWhatItsButtonDoes()
    {
        QFETCH(QString, button);
        QFETCH(QString, item);
        QFETCH(bool, full);
        QString results[2];
        for (int viaMenu = 0; viaMenu < 2; ++viaMenu) {
            Form1Harness h;
            h.dialogs.answers << QStringList{QStringLiteral("/music/one.mp3")};
            Form1 &f = h.create();
            putInView(f, full);
            for (const QString &name : {QStringLiteral("one.mp3"), QStringLiteral("two.mp3")}) {
                probe(f).List1->addItem(QStringLiteral("/music/") + name);
                probe(f).List2->addItem(name);
            }
            Form1Probe::setSelectedIndex(probe(f).List1, 1);
            Form1Probe::setSelectedIndex(probe(f).List2, 1);
            if (viaMenu) {
                QAction *action = f.findChild<QAction *>(item);
                QVERIFY(action && action->isEnabled());
                action->trigger();
            } else {
                QPushButton *b = f.findChild<QPushButton *>(button);
                QVERIFY(b);
                b->click();
            }
            results[viaMenu] = outcome(h);
        }
        QCOMPARE(results[1], results[0]);
    }

    // Guards: shortcuts that do not reach their items, and a disabled item
    // whose shortcut still switches to the view that is already on.
    void shortcutsFire()
    {
        Form1Harness h;
        h.dialogs.answers << QStringList{QStringLiteral("/music/a.mp3")};
        Form1 &f = h.create();
        putInView(f, false);
        showActive(f);
        ctrlKeyOnSlider(f, Qt::Key_S);
        QCOMPARE(probe(f).playlistShown(), std::int16_t(1));
        ctrlKeyOnSlider(f, Qt::Key_S); // "Show Play List" is disabled now
        QCOMPARE(probe(f).playlistShown(), std::int16_t(1));
        probe(f).List2->setFocus();
        QTest::keyClick(probe(f).List2, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(probe(f).playlistShown(), std::int16_t(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(probe(f).playlistShown(), std::int16_t(0));

        QSignalSpy add(probe(f).control<QAction>("Mnu_Add"), &QAction::triggered);
        QSignalSpy remove(probe(f).control<QAction>("Mnu_Rem"), &QAction::triggered);
        QSignalSpy mini(probe(f).control<QAction>("Ctl_Mini"), &QAction::triggered);
        ctrlKeyOnSlider(f, Qt::Key_A);
        ctrlKeyOnSlider(f, Qt::Key_R);
        ctrlKeyOnSlider(f, Qt::Key_M);
        QCOMPARE(add.count(), 1);
        QCOMPARE(remove.count(), 1);
        QCOMPARE(mini.count(), 1);
        QCOMPARE(h.dialogs.calls.size(), 1); // Add asked for a file once
    }

    // Guards: keyboard focus on the three buttons the menus stand for, on the
    // hidden path list or on controls the compact view hides; Command10 out
    // of reach; a tab cycle that loops before reaching every control.
    void tabOrder_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QStringList>("reached");
        row("compact", false, QStringList{"Slider1", "Check1", "HScroll1", "Command10"});
        row("full", true,
            QStringList{"Slider1", "Check1", "HScroll1", "Command8", "Command9", "Command11",
                        "Command1", "Command2", "Command4", "Command5", "Command6", "List2",
                        "Command10"});
    }
    void tabOrder()
    {
        QFETCH(bool, full);
        QFETCH(QStringList, reached);
        Form1Harness h;
        Form1 &f = h.create();
        showActive(f);
        putInView(f, full);
        probe(f).Slider1->setFocus();
        QSet<QString> visited;
        for (int i = 0; i < 3 * reached.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget());
            visited.insert(QApplication::focusWidget()->objectName());
        }
        for (const QString &name : reached)
            QVERIFY2(visited.contains(name), qPrintable(name));
        for (const char *never : {"Command3", "Command7", "Show_play", "List1", "optRES"})
            QVERIFY2(!visited.contains(QLatin1String(never)), never);
        if (!full)
            QCOMPARE(visited, QSet<QString>(reached.begin(), reached.end()));
    }

    // Guards: a hot spot named for the wrong symbol, or one that reacts to
    // the wrong button or to a press dragged off it.
    void hotSpots_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("word");
        row("back", "Back1", "Back");
        row("play", "Play1", "Play");
        row("pause", "pause1", "Pause");
        row("stop", "stop1", "Stop");
        row("next", "next1", "Next");
    }
    void hotSpots()
    {
        QFETCH(QString, name);
        QFETCH(QString, word);
        Form1Harness h;
        Form1 &f = h.create();
        auto *spot = f.findChild<HotSpot *>(name);
        QVERIFY(spot);
        QCOMPARE(spot->toolTip(), word);
        QCOMPARE(spot->accessibleName(), word);
        QCOMPARE(spot->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(probe(f).Image2->geometry().contains(spot->geometry()));

        QSignalSpy clicked(spot, &HotSpot::clicked);
        const QPoint inside = spot->rect().center();
        QTest::mouseClick(spot, Qt::RightButton, {}, inside);
        QCOMPARE(clicked.count(), 0);
        QTest::mousePress(spot, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(spot, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(spot, Qt::LeftButton, {}, inside);
        QCOMPARE(clicked.count(), 1);
    }

    // Guards: missing artwork, and a background that makes the olive labels
    // hard to read (contrast below 4.5:1 anywhere under a label).
    void artworkLoadsAndKeepsOliveReadable()
    {
        Form1Harness h;
        Form1 &f = h.create();
        for (QLabel *picture : {probe(f).Image5, probe(f).Image2, probe(f).Image1}) {
            auto *svg = qobject_cast<SvgPicture *>(picture);
            QVERIFY2(svg && svg->isLoaded(), qPrintable(picture->objectName()));
        }
        // The window's icon comes once the window has painted.
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTRY_VERIFY(!f.windowIcon().isNull());

        const QImage background = probe(f).Image5->grab().toImage();
        const double olive = luminance(QColor(128, 128, 0));
        for (QLabel *label :
             {probe(f).txtTime, probe(f).Label3, probe(f).lbl_track, probe(f).lbl_vol}) {
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 128, 0));
            const QRect area = label->geometry().intersected(probe(f).Image5->geometry());
            double brightest = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    brightest = std::max(brightest, luminance(background.pixelColor(x, y)));
            const double contrast = (olive + 0.05) / (brightest + 0.05);
            QVERIFY2(contrast >= 4.5, qPrintable(label->objectName() + QLatin1Char(' ') +
                                                 QString::number(contrast)));
        }
    }

private:
    static void bothViews()
    {
        QTest::addColumn<bool>("full");
        row("compact", false);
        row("full", true);
    }
    static void ctrlKeyOnSlider(Form1 &f, Qt::Key key)
    {
        probe(f).Slider1->setFocus();
        QTest::keyClick(probe(f).Slider1, key, Qt::ControlModifier);
    }
};

QTEST_MAIN(ViewsTest)
#include "test_views.moc"
