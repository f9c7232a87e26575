// The visualisation window: the notice, the video on an engine of its own
// beside the main window's (a fake here, which must see no call at all), one
// window at a time, Close, full screen, and a video that cannot be played.
#include "fakes/form1_harness.h"
#include "fakes/test_files.h"
#include "platform/media_engine.h"
#include "platform/video_view.h"
#include "shell/form3.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kNotice =
    QStringLiteral("Still in beta, Vis's are only a video at the moment, to be fixed.");

QList<Form3 *> visualisations()
{
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<Form3 *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *v = qobject_cast<Form3 *>(w))
            found << v;
    return found;
}

QString fixture(const QString &name)
{
    return qEnvironmentVariable("TARN_FIXTURES") + QLatin1Char('/') + name;
}

// A main window whose application folder holds `video` as 1016.avi (none when empty).
Form1 &mainWindow(Form1Harness &h, const QString &video)
{
    if (!video.isEmpty())
        QFile::copy(fixture(video), h.appFolder.filePath(QStringLiteral("1016.avi")));
    return h.create();
}

} // namespace

class VisualisationTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: the notice left out or worded otherwise on a later press; a
    // second press that restarts the video or opens a second window; the
    // window at another size or with other window decorations; no picture
    // reaching the view; any call reaching the main window's engine.
    void everyPressTellsOnlyTheFirstLoads()
    {
        Form1Harness h;
        Form1 &f = mainWindow(h, QStringLiteral("video_only.avi"));
        const QStringList mainCalls = h.engine.playerCalls();
        f.Command4->click();
        QCOMPARE(visualisations().size(), 1);
        Form3 *w = visualisations().first();
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral(" "));
        QCOMPARE(w->size(), QSize(305, 266));
        QVERIFY(w->windowFlags().testFlag(Qt::Tool));
        QVERIFY(!w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QCOMPARE(w->MediaPlayer1->geometry(), QRect(16, 0, 281, 209));
        QWidget *next = w->MediaPlayer1->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        QCOMPARE(next, w->Command1);
        QCOMPARE(w->Label1->text(),
                 QStringLiteral("For full screen rightclick and select full screen"));
        QTRY_VERIFY(w->engine().Position() > 0.5);
        // 320 x 240 fitted into 281 x 209 with its shape kept.
        QTRY_COMPARE(w->MediaPlayer1->picture().size(), QSize(278, 209));

        f.Command4->click();
        QCOMPARE(visualisations(), QList<Form3 *>{w});
        QVERIFY(w->engine().Position() > 0.5);
        QCOMPARE(h.messages.shown.size(), 2);
        for (const MessageCall &m : h.messages.shown) {
            QCOMPARE(m.text, kNotice);
            QCOMPARE(m.icon, MessageIcon::None);
            QCOMPARE(m.title, QStringLiteral("Tarn Player"));
        }
        QCOMPARE(h.engine.playerCalls(), mainCalls);
    }

    // Guards: a video left playing after the window went, and a reopened
    // window that goes on where the old one was instead of starting at 0.
    void closeThenOpenStartsAgain_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Close") << false;
        QTest::newRow("close box") << true;
    }
    void closeThenOpenStartsAgain()
    {
        QFETCH(bool, closeBox);
        Form1Harness h;
        Form1 &f = mainWindow(h, QStringLiteral("video_only.avi"));
        const QStringList mainCalls = h.engine.playerCalls();
        f.Command4->click();
        QPointer<Form3> first = visualisations().first();
        QTRY_VERIFY(first->engine().Position() > 0.8);
        if (closeBox)
            first->close();
        else
            first->Command1->click();
        QCOMPARE(first->engine().PlayStatus(), 0);
        QVERIFY(visualisations().isEmpty());
        QVERIFY(first.isNull());

        f.Command4->click();
        Form3 *again = visualisations().first();
        QTRY_COMPARE(again->engine().PlayStatus(), 2);
        QVERIFY2(again->engine().Position() < 0.5,
                 qPrintable(QString::number(again->engine().Position())));
        QCOMPARE(h.engine.playerCalls(), mainCalls);
    }

    // Guards: a video that cannot be played crashing, or leaving a black
    // window that does not say what is wrong.
    void unplayableVideoSaysWhy_data()
    {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QString() << "the file is not there";
        QTest::newRow("not a video") << "text_renamed.mp3"
                                     << "not a video file this player can read";
    }
    void unplayableVideoSaysWhy()
    {
        QFETCH(QString, video);
        QFETCH(QString, reason);
        Form1Harness h;
        Form1 &f = mainWindow(h, video);
        f.Command4->click();
        Form3 *w = visualisations().first();
        QVERIFY(w->isVisible());
        const QString path = h.appFolder.filePath(QStringLiteral("1016.avi"));
        QTRY_VERIFY(!w->MediaPlayer1->message().isEmpty());
        QCOMPARE(w->MediaPlayer1->message(),
                 QStringLiteral("The video file could not be played: ") + path + " (" + reason +
                     ")");
    }

    // Guards: full screen that cannot be left, or that puts the picture back
    // elsewhere than its place in the window.
    void fullScreenAndBack_data()
    {
        QTest::addColumn<bool>("byEsc");
        QTest::newRow("Esc") << true;
        QTest::newRow("the menu item again") << false;
    }
    void fullScreenAndBack()
    {
        QFETCH(bool, byEsc);
        Form1Harness h;
        Form1 &f = mainWindow(h, QStringLiteral("video_only.avi"));
        f.Command4->click();
        VideoView *view = visualisations().first()->MediaPlayer1;
        view->fullScreenAction->trigger();
        QVERIFY(view->isWindow());
        QVERIFY(view->isFullScreen());
        QVERIFY(view->fullScreenAction->isChecked());
        if (byEsc)
            QTest::keyClick(view, Qt::Key_Escape);
        else
            view->fullScreenAction->trigger();
        QVERIFY(!view->isWindow());
        QCOMPARE(view->geometry(), QRect(16, 0, 281, 209));
        QVERIFY(view->isVisible());
        QVERIFY(!view->fullScreenAction->isChecked());
    }
};

QTEST_MAIN(VisualisationTest)
#include "test_visualisation.moc"
