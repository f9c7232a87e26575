// The About box and the bug-report window: what they show when loaded, how
// they close, one instance each, the link of the bug-report window.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "shell/bugs.h"
#include "shell/frm_about.h"
#include "shell/program_facts.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace tarn;
using namespace tarn::test;

namespace {

void unloadClosed()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The pointer moves over `w` at `pos` with no button held.
void moveOver(QWidget *w, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

QColor linkColour(const Bugs &b)
{
    return b.Label3->palette().color(QPalette::WindowText);
}

} // namespace

class AboutBugsTest : public QObject {
    Q_OBJECT

private slots:
    // Guards: design captions left in place, a version other than the
    // build's, a box away from its fixed place or resizable, a Bugs button
    // that closes the About box, a System Info button that fails silently
    // where there is no registry.
    void aboutBoxAsLoaded()
    {
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).Command6_Click();
        FrmAbout *about = probe(f).aboutBox();
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Tarn Player"));
        QCOMPARE(about->lblTitle->text(), QStringLiteral("Tarn Player"));
        QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 1.0.1"));
        QVERIFY(about->lblDescription->text().startsWith(
            "A simple MP3 Player for you to listen to your music on with the lease amount of "
            "fuss. "));
        QVERIFY(about->lblDescription->text().endsWith(
            " There is no Video support yet, this is in a pipe line."));
        QVERIFY(about->lblDisclaimer->text().isEmpty());
        const QPoint origin = f.screen()->geometry().topLeft();
        QCOMPARE(about->geometry(), QRect(origin + QPoint(156, 129), QSize(382, 277)));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        QVERIFY(about->cmdOK->isDefault());

        about->cmdSysInfo->click();
        QCOMPARE(h.messages.texts(),
                 QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
        QVERIFY(h.programs.started.isEmpty());
        about->Command1->click();
        QVERIFY(probe(f).bugsWindow() && probe(f).bugsWindow()->isVisible());
        QVERIFY(about->isVisible());
    }

    // Guards: a key or button that leaves the box open, or hides it without
    // unloading it (the next request would not load it anew).
    void aboutCloses_data()
    {
        QTest::addColumn<QString>("how");
        row("Return", "Return");
        row("keypad Enter", "Enter");
        row("Esc", "Esc");
        row("OK", "OK");
        row("close box", "close");
    }
    void aboutCloses()
    {
        QFETCH(QString, how);
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).Command6_Click();
        FrmAbout *about = probe(f).aboutBox();
        if (how == "Return")
            QTest::keyClick(about, Qt::Key_Return);
        else if (how == "Enter")
            QTest::keyClick(about, Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == "Esc")
            QTest::keyClick(about, Qt::Key_Escape);
        else if (how == "OK")
            about->cmdOK->click();
        else
            about->close();
        unloadClosed();
        QVERIFY(!probe(f).aboutBox());
        QVERIFY(h.messages.shown.isEmpty()); // nothing else was pressed
    }

    // Guards: a second request that loads another box or sets the captions
    // again, and a closed box that is never loaded anew.
    void aboutLoadsOnce_data()
    {
        QTest::addColumn<QString>("second");
        row("About button twice", "Command6");
        row("button, then the tray's About", "cmd_About");
    }
    void aboutLoadsOnce()
    {
        QFETCH(QString, second);
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).Command6_Click();
        FrmAbout *first = probe(f).aboutBox();
        first->lblTitle->setText(QStringLiteral("changed"));
        if (second == "Command6")
            probe(f).Command6_Click();
        else
            probe(f).control<QAction>("cmd_About")->trigger();
        QCOMPARE(probe(f).aboutBox(), first);
        QCOMPARE(first->lblTitle->text(), QStringLiteral("changed"));

        first->cmdOK->click();
        unloadClosed();
        probe(f).Command6_Click();
        QCOMPARE(probe(f).aboutBox()->lblTitle->text(), QStringLiteral("Tarn Player"));
    }

    // Guards: a link that does not turn red under the pointer, turns blue
    // again over another label, stays red over the window's surface, or
    // keeps its colour into the next loading.
    void bugsLinkColour_data()
    {
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QColor>("colour");
        const QColor blue(0, 0, 255);
        const QColor red(255, 0, 0);
        row("as loaded", QStringList(), blue);
        row("over the link", QStringList{"link"}, red);
        row("then over the surface", QStringList{"link", "surface"}, blue);
        row("then over another label", QStringList{"link", "label"}, red);
        row("then over the button", QStringList{"link", "button"}, red);
        row("closed red, opened again", QStringList{"link", "reopen"}, blue);
    }
    void bugsLinkColour()
    {
        QFETCH(QStringList, moves);
        QFETCH(QColor, colour);
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).showBugs();
        for (const QString &move : moves) {
            Bugs *b = probe(f).bugsWindow();
            if (move == "link")
                moveOver(b->Label3, QPoint(2, 2));
            else if (move == "surface")
                moveOver(b, QPoint(2, 2));
            else if (move == "label")
                moveOver(b->Label2, QPoint(2, 2));
            else if (move == "button")
                moveOver(b->Command1, QPoint(2, 2));
            else {
                b->Command1->click();
                unloadClosed();
                QVERIFY(!probe(f).bugsWindow());
                probe(f).showBugs();
            }
        }
        QCOMPARE(linkColour(*probe(f).bugsWindow()), colour);
    }

    // Guards: a message other than the one promised, a caption that copies
    // the label ("E:Mail"), a second click that says something else, or a
    // click that sends or starts anything.
    void bugsLinkShowsAddress()
    {
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).showBugs();
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(probe(f).bugsWindow()->Label3, Qt::LeftButton);
        const QString text =
            QStringLiteral("Email me at ") + kReportAddress + " with the subject TPlayer BUG.";
        QCOMPARE(h.messages.texts(), QStringList({text, text}));
        for (const MessageCall &m : h.messages.shown) {
            QCOMPARE(m.title, QStringLiteral("E-mail"));
            QCOMPARE(m.icon, MessageIcon::Information);
        }
        QVERIFY(h.programs.started.isEmpty());
    }
};

QTEST_MAIN(AboutBugsTest)
#include "test_about_bugs.moc"
