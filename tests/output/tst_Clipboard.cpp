#include "core/ResultsModel.h"
#include "output/Clipboard.h"
#include "support/ResultsRows.h"

#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// A clipboard that another program holds for the first `busyAttempts` attempts of each call kind.
class BusyClipboard : public output::Clipboard
{
public:
    int busyAttempts = 0;
    bool throws = false;
    int clears = 0;
    int sets = 0;
    QStringList calls;
    QString text;

    bool clear() override
    {
        calls << u"clear"_s;
        return attempt(++clears);
    }
    bool setText(const QString& t, int format) override
    {
        calls << u"set %1"_s.arg(format);
        if (!attempt(++sets))
            return false;
        text = t;
        return true;
    }

private:
    bool attempt(int number) const
    {
        if (number > busyAttempts)
            return true;
        if (throws)
            throw std::runtime_error("clipboard busy");
        return false;
    }
};

} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void testRetryRule_data()
    {
        QTest::addColumn<int>("busyAttempts");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<bool>("placed");
        QTest::newRow("free") << 0 << false << 1 << true;
        QTest::newRow("busy for a while") << 37 << false << 38 << true;
        QTest::newRow("freed at the last attempt") << 999 << false << 1000 << true;
        QTest::newRow("busy throughout") << 5000 << false << 1000 << false;
        QTest::newRow("throwing throughout") << 5000 << true << 1000 << false;
    }

    void testRetryRule()
    {
        QFETCH(int, busyAttempts);
        QFETCH(bool, throws);
        QFETCH(int, attempts);
        QFETCH(bool, placed);
        BusyClipboard clipboard;
        clipboard.busyAttempts = busyAttempts;
        clipboard.throws = throws;
        output::ClearClipboard(clipboard);
        QCOMPARE(clipboard.clears, attempts);
        QCOMPARE(output::SetClipboardText(clipboard, u"t"_s, 0), placed);
        QCOMPARE(clipboard.sets, attempts);
        QCOMPARE(clipboard.text, placed ? u"t"_s : QString());
    }

    void testCopy_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("busyAttempts");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("empty table leaves the clipboard alone")
            << 0 << 0 << int(output::CopyOutcome::NothingToCopy) << QStringList{};
        QTest::newRow("cleared, then given the text")
            << 1 << 0 << int(output::CopyOutcome::Copied) << QStringList{u"clear"_s, u"set 0"_s};
        QTest::newRow("held throughout") << 1 << 5000 << int(output::CopyOutcome::NotPlaced) << QStringList{};
    }

    void testCopy()
    {
        QFETCH(int, rows);
        QFETCH(int, busyAttempts);
        QFETCH(int, outcome);
        QFETCH(QStringList, calls);
        core::ResultsModel model;
        addResultsColumns(model);
        for (int r = 0; r < rows; ++r)
            addResultsRows(model, {{{u"1.2.3.4"_s, u"Completed"_s}, true}});
        BusyClipboard clipboard;
        clipboard.busyAttempts = busyAttempts;
        QCOMPARE(int(output::CopyResultsToClipboard(output::ResultsModelTable(model), clipboard)), outcome);
        if (busyAttempts == 0)
            QCOMPARE(clipboard.calls, calls);
        else
            QCOMPARE(clipboard.calls.size(), 2 * output::MaxClipboardAttempts);
        if (outcome == int(output::CopyOutcome::Copied))
            QCOMPARE(clipboard.text, u"1.2.3.4\tCompleted\t\t\t\r\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestClipboard)
#include "tst_Clipboard.moc"
