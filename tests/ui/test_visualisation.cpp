// The visualisation window: the notice, the video on an engine of its own
// beside the main window's (a fake here, which must see no call at all), one
// window at a time, Close, full screen, and a video that cannot be played.
#include "engine/picture_size.h"
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "fakes/test_files.h"
#include "platform/media_engine.h"
#include "platform/video_view.h"
#include "shell/form3.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <climits>
#include <cmath>

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
        probe(f).Command4->click();
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

        probe(f).Command4->click();
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
        row("Close", false);
        row("close box", true);
    }
    void closeThenOpenStartsAgain()
    {
        QFETCH(bool, closeBox);
        Form1Harness h;
        Form1 &f = mainWindow(h, QStringLiteral("video_only.avi"));
        const QStringList mainCalls = h.engine.playerCalls();
        probe(f).Command4->click();
        QPointer<Form3> first = visualisations().first();
        QTRY_VERIFY(first->engine().Position() > 0.8);
        if (closeBox)
            first->close();
        else
            first->Command1->click();
        QCOMPARE(first->engine().PlayStatus(), PlayState::Stopped);
        QVERIFY(visualisations().isEmpty());
        QVERIFY(first.isNull());

        probe(f).Command4->click();
        Form3 *again = visualisations().first();
        QTRY_COMPARE(again->engine().PlayStatus(), PlayState::Playing);
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
        row("missing", QString(), "the file is not there");
        row("not a video", "text_renamed.mp3", "not a video file this player can read");
    }
    void unplayableVideoSaysWhy()
    {
        QFETCH(QString, video);
        QFETCH(QString, reason);
        Form1Harness h;
        Form1 &f = mainWindow(h, video);
        probe(f).Command4->click();
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
        row("Esc", true);
        row("the menu item again", false);
    }
    void fullScreenAndBack()
    {
        QFETCH(bool, byEsc);
        Form1Harness h;
        Form1 &f = mainWindow(h, QStringLiteral("video_only.avi"));
        probe(f).Command4->click();
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

    // The size the engine converts each picture to. Guards: a huge picture
    // converted at its own size (16k x 16k costs 1 GiB for the picture alone)
    // before the view is laid out or in full screen, an empty or overflowing
    // size from huge, zero or odd shapes, and a small picture sized other
    // than before.
    void pictureSize_data()
    {
        QTest::addColumn<int>("width"); // the picture's shape
        QTest::addColumn<int>("height");
        QTest::addColumn<QSize>("view");     // empty: not laid out yet
        QTest::addColumn<QSize>("expected"); // invalid: only within the bounds
        const QSize none, small(278, 209);
        row("small, not laid out", 320, 240, none, QSize(320, 240));
        row("small, in the window", 320, 240, small, QSize(278, 209));
        row("16k, not laid out", 16384, 16384, none, none);
        row("16k, in the window", 16384, 16384, small, QSize(209, 209));
        row("widest", INT_MAX, 1, none, none);
        row("tallest", 1, INT_MAX, small, QSize(1, 209));
        row("largest", INT_MAX, INT_MAX, none, none);
        row("zero width", 0, 480, small, QSize(0, 0));
        row("negative", -640, 480, none, QSize(0, 0));
    }
    void pictureSize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QSize, view);
        QFETCH(QSize, expected);
        VideoView v;
        if (!view.isEmpty()) {
            v.resize(view);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));
        }
        const engine::VideoFormat f = v.videoFormat(width, height);
        const QSize got(f.width, f.height);
        if (expected.isValid()) {
            QCOMPARE(got, expected);
            return;
        }
        const QSize screen = v.screen()->size();
        QVERIFY2(got.width() >= 1 && got.height() >= 1 && got.width() <= screen.width() &&
                     got.height() <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2 on a screen of %3 x %4")
                                .arg(got.width())
                                .arg(got.height())
                                .arg(screen.width())
                                .arg(screen.height())));
        // Its shape kept, to within a pixel.
        if (width > 0 && height > 0 && width < 100000 && height < 100000)
            QVERIFY(std::abs(double(got.width()) / got.height() - double(width) / height) <
                    1.0 / std::min(got.width(), got.height()) + 1e-9);
    }

    // The shape a picture shows at, from its pixels and pixel aspect. Guards:
    // an aspect or size that overflows int (undefined), or gives 0.
    void pictureShape_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("aspectNum");
        QTest::addColumn<int>("aspectDen");
        QTest::addColumn<QSize>("expected");
        row("square pixels", 320, 240, 1, 1, QSize(320, 240));
        row("anamorphic PAL", 720, 576, 16, 11, QSize(1047, 576));
        row("no aspect", 320, 240, 0, 1, QSize(320, 240));
        row("negative aspect", 320, 240, -4, 3, QSize(320, 240));
        row("widest aspect", 65535, 16, INT_MAX, 1, QSize(1 << 20, 16));
        row("narrowest aspect", 16, 16, 1, INT_MAX, QSize(1, 16));
        row("zero", 0, 0, 1, 1, QSize(0, 0));
    }
    void pictureShape()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, aspectNum);
        QFETCH(int, aspectDen);
        QFETCH(QSize, expected);
        const engine::PictureSize s = engine::displayShape(width, height, aspectNum, aspectDen);
        QCOMPARE(QSize(s.width, s.height), expected);
    }
};

QTEST_MAIN(VisualisationTest)
#include "test_visualisation.moc"
