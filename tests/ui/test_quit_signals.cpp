// SIGTERM and SIGINT reach the event loop as a Qt signal, and end the player
// through Exit, once.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "platform/quit_signals.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace tarn;
using namespace tarn::test;

namespace {

using Handler = void (*)(int);

Handler currentHandler(int signalNumber)
{
    struct sigaction now {};
    sigaction(signalNumber, nullptr, &now);
    return now.sa_handler;
}

} // namespace

class QuitSignalsTest : public QObject {
    Q_OBJECT
private slots:
    void reachesTheEventLoop_data()
    {
        QTest::addColumn<int>("signalNumber");
        row("SIGTERM", SIGTERM);
        row("SIGINT", SIGINT);
    }
    // Guards: a logout or Ctrl+C killing the player where it stands, a
    // handler that does the work inside the signal handler instead of on the
    // event loop, and handlers left behind when the object goes.
    void reachesTheEventLoop()
    {
        QFETCH(int, signalNumber);
        const Handler before = currentHandler(signalNumber);
        {
            QuitSignals quit;
            QVERIFY(quit.isActive()); // else raise() would end this test
            QList<int> received;
            connect(&quit, &QuitSignals::received, this, [&](int n) { received << n; });
            raise(signalNumber);
            QVERIFY(received.isEmpty()); // not from inside the handler
            QTRY_COMPARE(received, QList<int>{signalNumber});
        }
        QVERIFY(currentHandler(signalNumber) == before);
    }

    // Guards: a second signal (a second Ctrl+C, SIGTERM after SIGINT)
    // running Exit again: the settings written twice, the program ended twice.
    void twoSignalsRunExitOnce()
    {
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).HScroll1->setValue(700);
        probe(f).Check1->setChecked(false);
        QuitSignals quit;
        QVERIFY(quit.isActive());
        connect(&quit, &QuitSignals::received, &f, &Form1::exitProgram);
        raise(SIGTERM);
        raise(SIGINT);
        QTRY_COMPARE(h.endProgramCalls, 1);
        QCoreApplication::processEvents();
        QCOMPARE(h.endProgramCalls, 1);
        QCOMPARE(h.settings.values.value(FakeSettings::path(QStringLiteral("Tarn Player"),
                                                            QStringLiteral("Settings"),
                                                            QStringLiteral("Vol"))),
                 QStringLiteral("700"));
    }
};

QTEST_MAIN(QuitSignalsTest)
#include "test_quit_signals.moc"
