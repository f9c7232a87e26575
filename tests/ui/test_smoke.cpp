#include "fakes/form1_harness.h"

#include <QListWidget>
#include <QTest>

using namespace tarn::test;

class SmokeTest : public QObject {
    Q_OBJECT
private slots:
    void windowStartsWithEmptyParallelLists()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        QCOMPARE(f.List1->count(), 0);
        QCOMPARE(f.List2->count(), 0);
    }
};

QTEST_MAIN(SmokeTest)
#include "test_smoke.moc"
