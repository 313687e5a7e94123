#include "core/ResultsModel.h"
#include "output/ResultsText.h"
#include "support/EveryYield.h"
#include "support/ResultsRows.h"

#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<ResultsRow>)

namespace {

QString build(const QList<ResultsRow>& rows, int columns)
{
    core::ResultsModel model;
    for (int c = 0; c < columns; ++c)
        model.addColumn(u"A very long header text %1"_s.arg(c));
    addResultsRows(model, rows);
    return output::BuildResultsText(output::ResultsModelTable(model));
}

// Spends a whole time slice locating each row, so that the command yields before every row.
class SlowTable : public output::ResultsModelTable
{
public:
    using ResultsModelTable::ResultsModelTable;
    RowKey keyAt(int row) const override
    {
        if (slow)
            QThread::msleep(core::EventPump::SliceMs + 2);
        return ResultsModelTable::keyAt(row);
    }
    bool slow = false;
};

} // namespace

class TestResultsText : public QObject
{
    Q_OBJECT

private slots:
    void testText_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<ResultsRow>>("rows");
        QTest::addColumn<QString>("expected");

        QTest::newRow("three columns, second row unticked")
            << 3 << QList<ResultsRow>{{{u"ab"_s, u"x"_s, u""_s}, true}, {{u"abcd"_s, u"yz"_s, u"q"_s}, false}}
            << u"ab  \tx \t\r\n"_s;
        QTest::newRow("all unticked") << 3
                                      << QList<ResultsRow>{{{u"ab"_s, u"x"_s, u"y"_s}, false},
                                                           {{u"c"_s, u"d"_s, u"e"_s}, false}}
                                      << QString();
        QTest::newRow("every ticked row, last line too, ends in CR LF")
            << 2 << QList<ResultsRow>{{{u"a"_s, u"bb"_s}, true}, {{u"ccc"_s, u"d"_s}, true}}
            << u"a  \tbb\r\nccc\td\r\n"_s;
        QTest::newRow("a cell of exactly its width gets only the tab")
            << 2 << QList<ResultsRow>{{{u"abc"_s, u"z"_s}, true}, {{u"ab"_s, u"z"_s}, true}}
            << u"abc\tz\r\nab \tz\r\n"_s;
        QTest::newRow("unticked rows set the widths")
            << 2 << QList<ResultsRow>{{{u"123456"_s, u"x"_s}, false}, {{u"1"_s, u"y"_s}, true}} << u"1     \ty\r\n"_s;
        QTest::newRow("tabs and line breaks inside cells are copied and counted")
            << 2 << QList<ResultsRow>{{{u"a\tb"_s, u"l1\r\nl2"_s}, true}, {{u"c"_s, u"d"_s}, true}}
            << u"a\tb\tl1\r\nl2\r\nc  \td\r\n"_s;
        QTest::newRow("trailing spaces of the last cell go, of others stay")
            << 3 << QList<ResultsRow>{{{u"a  "_s, u"b"_s, u"c   "_s}, true}} << u"a  \tb\tc\r\n"_s;
        QTest::newRow("a last cell of spaces only leaves the tab before it")
            << 2 << QList<ResultsRow>{{{u"a"_s, u"   "_s}, true}} << u"a\t\r\n"_s;
        QTest::newRow("trimming stops at a tab inside the last cell")
            << 2 << QList<ResultsRow>{{{u"a"_s, u"b\t  "_s}, true}} << u"a\tb\t\r\n"_s;
        QTest::newRow("one empty column") << 1 << QList<ResultsRow>{{{u""_s}, true}, {{u""_s}, true}} << u"\r\n\r\n"_s;
        QTest::newRow("non-ASCII counted in UTF-16 units")
            << 2 << QList<ResultsRow>{{{u"\U0001F600"_s, u"x"_s}, true}, {{u"é"_s, u"y"_s}, true}}
            << u"\U0001F600\tx\r\né \ty\r\n"_s;
    }

    void testText()
    {
        QFETCH(int, columns);
        QFETCH(QList<ResultsRow>, rows);
        QFETCH(QString, expected);
        QCOMPARE(build(rows, columns), expected);
    }

    void testHugeCellIsCopiedWhole()
    {
        const QString huge(100000, u'h');
        const QString text = build({{{huge, u"x"_s}, true}, {{u"a"_s, u"b"_s}, true}}, 2);
        QCOMPARE(text, huge + u"\tx\r\na"_s + QString(99999, u' ') + u"\tb\r\n"_s);
    }

    // Other handlers run while the text is built; rows they remove are left out, never read stale.
    void testRowsRemovedWhileBuilding_data()
    {
        QTest::addColumn<int>("atPass");
        QTest::addColumn<bool>("clearAll");
        QTest::addColumn<QString>("expected");
        // Passes 0 to 2 come before the rows of the width pass, 3 to 5 before those of the line pass.
        QTest::newRow("row 2 removed before its width is read") << 1 << false << u"a  \tx\r\nccc\tz\r\n"_s;
        QTest::newRow("row 2 removed before its line") << 4 << false << u"a   \tx\r\nccc \tz\r\n"_s;
        QTest::newRow("table cleared before the lines") << 3 << true << QString();
        QTest::newRow("table cleared mid-lines") << 5 << true << u"a   \tx\r\nbbbb\ty\r\n"_s;
    }

    void testRowsRemovedWhileBuilding()
    {
        QFETCH(int, atPass);
        QFETCH(bool, clearAll);
        QFETCH(QString, expected);
        core::ResultsModel model;
        model.addColumn(u"One"_s);
        model.addColumn(u"Two"_s);
        addResultsRows(model, {{{u"a"_s, u"x"_s}, true}, {{u"bbbb"_s, u"y"_s}, true}, {{u"ccc"_s, u"z"_s}, true}});
        EveryYield during([&](int pass) {
            if (pass == atPass && model.rowCount() > 0) {
                if (clearAll)
                    model.clear();
                else
                    model.removeRowAt(1);
            }
        });
        SlowTable table(model);
        table.slow = true;
        QCOMPARE(output::BuildResultsText(table), expected);
        QVERIFY(during.passes() > atPass);
    }
};

QTEST_GUILESS_MAIN(TestResultsText)
#include "tst_ResultsText.moc"
