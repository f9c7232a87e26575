// The window system the player opens on, and the Options window's word about
// it: X11 wherever an X server is named, Wayland where only a compositor is,
// the user's own platform as it is, and a plain refusal with neither.
#include "desktop/window_system.h"
#include "fakes/fake_dialogs.h"
#include "mini/form4.h"
#include "mini/up_down.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace tarn;

class WindowSystemTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a Wayland session without XWayland sent to X11 (Qt aborts
    // there), no fall-back to Wayland where the named X server may not
    // answer, the user's QT_QPA_PLATFORM overridden, and a start with no
    // display at all left to Qt's abort instead of refused with a reason.
    void choice_data()
    {
        QTest::addColumn<QByteArray>("qtPlatform");
        QTest::addColumn<QByteArray>("x11");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("chosen"); // empty: QT_QPA_PLATFORM left as it is
        QTest::addColumn<bool>("refused");
        QTest::newRow("X11 only") << QByteArray() << QByteArray(":0") << QByteArray()
                                  << QByteArray("xcb") << false;
        QTest::newRow("Wayland only") << QByteArray() << QByteArray() << QByteArray("wayland-0")
                                      << QByteArray("wayland") << false;
        QTest::newRow("both: X11 first")
            << QByteArray() << QByteArray(":1") << QByteArray("wayland-1")
            << QByteArray("xcb;wayland") << false;
        QTest::newRow("neither") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                 << true;
        QTest::newRow("the user's choice, Wayland named")
            << QByteArray("wayland") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray()
            << false;
        QTest::newRow("the user's choice, nothing named")
            << QByteArray("offscreen") << QByteArray() << QByteArray() << QByteArray() << false;
    }
    void choice()
    {
        QFETCH(QByteArray, qtPlatform);
        QFETCH(QByteArray, x11);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, chosen);
        QFETCH(bool, refused);
        const WindowSystemChoice choice = chooseWindowSystem({qtPlatform, x11, wayland});
        QCOMPARE(choice.qtPlatform, chosen);
        QCOMPARE(!choice.error.isEmpty(), refused);
        if (refused)
            QVERIFY2(choice.error.contains(QLatin1String("DISPLAY")) &&
                         choice.error.contains(QLatin1String("WAYLAND_DISPLAY")),
                     qPrintable(choice.error));
    }

    // Guards: Options keeping quiet where the strip's opacity and its place
    // on top cannot work (its setting would silently do nothing), a note
    // where they do work, and a note cut off by the window's edge.
    void optionsNote_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("note");
        QTest::newRow("X11") << "xcb" << false;
        QTest::newRow("Wayland") << "wayland" << true;
        QTest::newRow("Wayland with EGL") << "wayland-egl" << true;
        QTest::newRow("offscreen") << "offscreen" << false;
    }
    void optionsNote()
    {
        QFETCH(QString, platform);
        QFETCH(bool, note);
        test::FakeMessages messages;
        QTemporaryDir folder;
        Form4 options({messages, folder.path(), keepsOnTopAndOpacity(platform)});
        options.open();
        const auto *shown = options.findChild<QLabel *>(QStringLiteral("windowSystemNote"));
        QCOMPARE(shown != nullptr && shown->isVisible(), note);
        if (!note)
            return;
        QVERIFY(shown->text().contains(QLatin1String("Wayland")));
        QVERIFY(options.rect().contains(shown->geometry()));
        QVERIFY2(shown->heightForWidth(shown->width()) <= shown->height(),
                 qPrintable(QStringLiteral("the note needs %1 px, has %2")
                                .arg(shown->heightForWidth(shown->width()))
                                .arg(shown->height())));
        // The setting itself stays: it applies in X11 sessions.
        QVERIFY(options.UpDown1->isVisible());
    }
};

QTEST_MAIN(WindowSystemTest)
#include "test_window_system.moc"
