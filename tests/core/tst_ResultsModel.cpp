#include "core/Failure.h"
#include "core/ResultsModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using core::ResultsModel;

class TestResultsModel : public QObject
{
    Q_OBJECT

private slots:
    void testRowIdsSurviveRemovalOfEarlierRows()
    {
        ResultsModel model;
        model.addColumn(u"IP Address(es)"_s);
        model.addColumn(u"Status"_s);
        QList<ResultsModel::RowId> ids;
        for (int i = 0; i < 5; ++i)
            ids.append(model.appendRow(u"row%1"_s.arg(i)));
        model.removeRowAt(1);
        model.removeRowAt(0);
        QCOMPARE(model.rowOf(ids[0]), -1);
        QCOMPARE(model.rowOf(ids[1]), -1);
        QCOMPARE(model.rowOf(ids[3]), 1);
        QVERIFY(model.setCellById(ids[3], 1, u"Completed"_s));
        QCOMPARE(model.cell(1, 1), u"Completed"_s);
        QCOMPARE(model.cell(1, 0), u"row3"_s);
        QVERIFY(!model.setCellById(ids[0], 1, u"Completed"_s));
    }

    void testClearedRowsAreNotWrittenAgain()
    {
        ResultsModel model;
        model.addColumn(u"IP Address(es)"_s);
        const auto old = model.appendRow(u"a"_s);
        model.clear();
        const auto fresh = model.appendRow(u"b"_s);
        QVERIFY(fresh != old);
        QVERIFY(!model.setCellById(old, 0, u"x"_s));
        QCOMPARE(model.cell(0, 0), u"b"_s);
    }

    void testOnlyTheUserCheckBoxIsCheckable()
    {
        ResultsModel model;
        model.addColumn(u"IP Address(es)"_s);
        model.addColumn(u"Status"_s);
        model.appendRow(u"a"_s);
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
        QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable));
        QCOMPARE(model.data(model.index(0, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
        QVERIFY(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model.isChecked(0));
        QVERIFY(!model.setData(model.index(0, 1), u"edited"_s, Qt::EditRole));
    }

    void testBadCoordinatesFailInsteadOfReadingGarbage_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::newRow("row past the end") << 1 << 0;
        QTest::newRow("negative row") << -1 << 0;
        QTest::newRow("column past five") << 0 << 5;
    }

    void testBadCoordinatesFailInsteadOfReadingGarbage()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        ResultsModel model;
        model.addColumn(u"IP Address(es)"_s);
        model.appendRow(u"a"_s);
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.cell(row, column));
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.setCell(row, column, u"x"_s));
    }

    void testAtMostFiveColumns()
    {
        ResultsModel model;
        for (int i = 0; i < ResultsModel::MaxColumns; ++i)
            model.addColumn(u"c"_s);
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.addColumn(u"sixth"_s));
        QCOMPARE(model.columnCount(), 5);
    }

    void testLongCellsAreShortenedForDisplayOnly()
    {
        ResultsModel model;
        model.addColumn(u"IP Address(es)"_s);
        const QString huge(100000, u'x');
        model.appendRow(huge);
        QCOMPARE(model.cell(0, 0), huge);
        QVERIFY(model.data(model.index(0, 0), Qt::DisplayRole).toString().size() < 2100);
    }
};

QTEST_GUILESS_MAIN(TestResultsModel)
#include "tst_ResultsModel.moc"
