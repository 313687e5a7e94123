#include "support/FakeDialogs.h"
#include "shell/ErrorTrap.h"

#include <QTest>

using namespace Qt::StringLiterals;
using shell::ErrorTrap;

class TestErrorTrap : public QObject
{
    Q_OBJECT

private slots:
    void testReportTextIsExact_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("type mismatch at 106")
            << u"Type mismatch"_s << 106
            << u"Type mismatch\r\nin Tellurion2021/08/31.Form1.Form_Load at line 106\r\rPlease email screenshot of "
               u"this message to support@kestrelworks.example"_s;
        QTest::newRow("empty description starts with the break")
            << QString() << 100
            << u"\r\nin Tellurion2021/08/31.Form1.Form_Load at line 100\r\rPlease email screenshot of this message "
               u"to support@kestrelworks.example"_s;
    }

    void testReportTextIsExact()
    {
        QFETCH(QString, description);
        QFETCH(int, line);
        QFETCH(QString, expected);
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"Form_Load"_s);
        trap.run(line, [&] { throw core::Failure(description); });
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, expected);
        QCOMPARE(dialogs.shown[0].title, u"Application Error"_s);
        QCOMPARE(dialogs.shown[0].buttons, shell::MessageButtons::Ok);
        QCOMPARE(dialogs.shown[0].icon, shell::MessageIcon::Warning);
    }

    void testResumesWithTheNextStep()
    {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"PushButton2_Click"_s);
        QStringList done;
        trap.run(100, [&] { done << u"100"_s; });
        trap.run(102, [&] {
            throw core::Failure(u"broken"_s);
            done << u"102"_s;
        });
        trap.run(104, [&] { done << u"104"_s; });
        QCOMPARE(done, (QStringList{u"100"_s, u"104"_s}));
        QCOMPARE(trap.reportCount(), 1);
        QVERIFY(dialogs.shown[0].text.contains(u"PushButton2_Click at line 102\r\r"_s));
    }

    void testFailingConditionEntersTheBody()
    {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"Form_Load"_s);
        QVERIFY(trap.test(100, []() -> bool { throw core::Failure(u"Bad file name or number"_s); }));
        QVERIFY(!trap.test(102, [] { return false; }));
        QCOMPARE(trap.reportCount(), 1);
    }

    void testLoopStepIsReportedOncePerPass()
    {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"PushButton6_Click"_s);
        int reached = 0;
        for (int pass = 0; pass < 3; ++pass) {
            trap.run(136, [&] { throw core::Failure(u"Bad record number"_s); });
            ++reached;
        }
        QCOMPARE(reached, 3);
        QCOMPARE(dialogs.errorReports().size(), 3);
    }

    void testTwoFailuresGiveTwoReportsWithTheirOwnLines()
    {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"PushButton4_Click"_s);
        trap.run(172, [] { throw std::runtime_error("first"); });
        trap.run(210, [] { throw core::Failure(u"second"_s); });
        const auto reports = dialogs.errorReports();
        QCOMPARE(reports.size(), 2);
        QVERIFY(reports[0].text.startsWith(u"first\r\n"_s));
        QVERIFY(reports[0].text.contains(u"at line 172\r\r"_s));
        QVERIFY(reports[1].text.startsWith(u"second\r\n"_s));
        QVERIFY(reports[1].text.contains(u"at line 210\r\r"_s));
    }

    void testClosingTheProgramIsNotReported()
    {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, u"PushButton4_Click"_s);
        QVERIFY_THROWS_EXCEPTION(core::Abandoned, trap.run(110, [] { throw core::Abandoned(); }));
        QVERIFY(dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestErrorTrap)
#include "tst_ErrorTrap.moc"
