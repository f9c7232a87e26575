// The Options window: the opacity it holds, its arrows and Save.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "fakes/test_files.h"
#include "mini/form4.h"
#include "mini/up_down.h"
#include "persist/app_folder.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kTrans = QStringLiteral("Trans.ini");

Form4 *optionsWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *options = qobject_cast<Form4 *>(w))
            return options;
    return nullptr;
}

} // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a label that is not the held value with "%" right after it, an
    // arrow that steps by more than 1, wraps at a limit or is ignored after a
    // value outside the limits, and Save writing anything but the number line
    // of the held value.
    void arrowsAndSave_data()
    {
        QTest::addColumn<QByteArray>("transIni"); // empty: no file
        QTest::addColumn<int>("steps");           // clicks, up when positive
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("stepped");
        QTest::addColumn<QByteArray>("saved");
        row("60, one up", QByteArray(" 60 \r\n"), 1, "60%", "61%",
            QByteArray::fromHex("203631200d0a"));
        row("no file, saved at once", QByteArray(), 0, "0%", "0%",
            QByteArray::fromHex("2030200d0a"));
        row("no file, one up: the lowest", QByteArray(), 1, "0%", "20%", QByteArray(" 20 \r\n"));
        row("100, up: no wrap", QByteArray("100"), 1, "100%", "100%", QByteArray(" 100 \r\n"));
        row("20, down: no wrap", QByteArray(" 20 \r\n"), -1, "20%", "20%", QByteArray(" 20 \r\n"));
    }
    void arrowsAndSave()
    {
        QFETCH(QByteArray, transIni);
        QFETCH(int, steps);
        QFETCH(QString, loaded);
        QFETCH(QString, stepped);
        QFETCH(QByteArray, saved);
        FakeMessages messages;
        QTemporaryDir folder;
        const QString path = appFile(folder.path(), kTrans);
        if (!transIni.isEmpty())
            writeFile(path, transIni);
        Form4 options({messages, folder.path()});
        options.open();
        QCOMPARE(options.Label2->text(), loaded);
        QToolButton *arrow =
            steps > 0 ? options.UpDown1->upButton() : options.UpDown1->downButton();
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::mouseClick(arrow, Qt::LeftButton);
        QCOMPARE(options.Label2->text(), stepped);
        QTest::mouseClick(options.Command1, Qt::LeftButton);
        QCOMPARE(fileBytes(path), saved);
        QVERIFY(options.isVisible());
        QVERIFY(messages.shown.isEmpty());
    }

    // Guards: a value lost when the window closes, a second request loading
    // the window again, an opening that does not read Trans.ini anew, and
    // the arrows not first in the keyboard order.
    void holdsItsValueForTheRun()
    {
        Form1Harness h;
        const QString path = appFile(h.appFolder.path(), kTrans);
        writeFile(path, " 60 \r\n");
        Form1 &f = h.create();
        probe(f).control<QPushButton>("Command5")->click();
        Form4 *options = optionsWindow();
        QVERIFY(options && options->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(options));
        QCOMPARE(QApplication::focusWidget(), options->UpDown1);
        QTest::keyClick(options->UpDown1, Qt::Key_Up);
        QCOMPARE(options->Label2->text(), QStringLiteral("61%"));

        writeFile(path, " 30 \r\n");
        probe(f).Command5_Click(); // shown: only brought forward
        QCOMPARE(optionsWindow(), options);
        QCOMPARE(options->Label2->text(), QStringLiteral("61%"));

        options->close();
        QVERIFY(QFile::remove(path));
        probe(f).Command5_Click(); // nothing to read: the held value stays
        QCOMPARE(options->Label2->text(), QStringLiteral("61%"));
        options->close();
        writeFile(path, " 30 \r\n");
        probe(f).Command5_Click();
        QCOMPARE(options->Label2->text(), QStringLiteral("30%"));
        QCOMPARE(options->UpDown1->value(), 30);
        QVERIFY(h.messages.shown.isEmpty());
    }

    // Guards: a Save that cannot write Trans.ini passing silently or closing
    // the window.
    void failedSaveSaysWhy()
    {
        FakeMessages messages;
        QTemporaryDir root;
        const QString gone = appFile(root.path(), QStringLiteral("gone"));
        Form4 options({messages, gone});
        options.open();
        QTest::mouseClick(options.Command1, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 1);
        const QString prefix = QStringLiteral("Could not save the mini player's opacity to ") +
                               appFile(gone, kTrans) + ":\n";
        QVERIFY2(messages.shown[0].text.startsWith(prefix), qPrintable(messages.shown[0].text));
        QVERIFY(messages.shown[0].text.size() > prefix.size());
        QVERIFY(options.isVisible());
    }
};

QTEST_MAIN(OptionsTest)
#include "test_options.moc"
