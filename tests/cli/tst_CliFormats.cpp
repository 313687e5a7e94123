#include "cli/CliOptions.h"
#include "cli/RowWriter.h"

#include <QTest>

using namespace Qt::StringLiterals;
using cli::ParseOutcome;

class TestCliFormats : public QObject
{
    Q_OBJECT

private slots:
    void testCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QStringList>("files");
        const int run = int(ParseOutcome::Action::Run);
        const int usage = int(ParseOutcome::Action::UsageError);
        QTest::newRow("defaults") << QStringList{} << run << 4 << QStringList{};
        QTest::newRow("jobs, separate") << QStringList{u"-j"_s, u"16"_s, u"a.txt"_s} << run << 16
                                        << QStringList{u"a.txt"_s};
        QTest::newRow("jobs, joined") << QStringList{u"-j8"_s} << run << 8 << QStringList{};
        QTest::newRow("jobs, long with =") << QStringList{u"--jobs=256"_s} << run << 256 << QStringList{};
        QTest::newRow("jobs 0") << QStringList{u"--jobs"_s, u"0"_s} << usage << 4 << QStringList{};
        QTest::newRow("jobs 100000") << QStringList{u"--jobs"_s, u"100000"_s} << usage << 4 << QStringList{};
        QTest::newRow("jobs not a number") << QStringList{u"-j"_s, u"many"_s} << usage << 4 << QStringList{};
        QTest::newRow("jobs missing value") << QStringList{u"-j"_s} << usage << 4 << QStringList{};
        QTest::newRow("unknown format") << QStringList{u"-f"_s, u"xml"_s} << usage << 4 << QStringList{};
        QTest::newRow("unknown option") << QStringList{u"--colour"_s} << usage << 4 << QStringList{};
        QTest::newRow("dash is standard input")
            << QStringList{u"a"_s, u"-"_s, u"b"_s} << run << 4 << QStringList{u"a"_s, u"-"_s, u"b"_s};
        QTest::newRow("after -- a dash name is a file")
            << QStringList{u"--"_s, u"-q"_s} << run << 4 << QStringList{u"-q"_s};
        QTest::newRow("help") << QStringList{u"--help"_s, u"--jobs"_s, u"0"_s} << int(ParseOutcome::Action::ShowHelp)
                              << 4 << QStringList{};
        QTest::newRow("timeout 0") << QStringList{u"--timeout"_s, u"0"_s} << usage << 4 << QStringList{};
        QTest::newRow("empty output name") << QStringList{u"-o"_s, QString()} << usage << 4 << QStringList{};
    }

    void testCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(int, jobs);
        QFETCH(QStringList, files);
        const ParseOutcome outcome = cli::parseCommandLine(QStringList{u"tellurion-cli"_s} + args);
        QCOMPARE(int(outcome.action), action);
        if (outcome.action == ParseOutcome::Action::UsageError) {
            QVERIFY(!outcome.error.isEmpty());
            return;
        }
        QCOMPARE(outcome.options.jobs, jobs);
        QCOMPARE(outcome.options.files, files);
    }

    void testCsvQuotesOnlyWhatNeedsIt_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << u"DE"_s << QByteArray("DE");
        QTest::newRow("empty") << QString() << QByteArray("");
        QTest::newRow("comma") << u"Korea, Republic of"_s << QByteArray("\"Korea, Republic of\"");
        QTest::newRow("quote") << u"a\"b"_s << QByteArray("\"a\"\"b\"");
        QTest::newRow("line break") << u"a\r\nb"_s << QByteArray("\"a\r\nb\"");
        QTest::newRow("non-ASCII") << u"Åland"_s << QByteArray("\xc3\x85land");
        QTest::newRow("leading blanks kept") << u"  x "_s << QByteArray("  x ");
    }

    void testCsvQuotesOnlyWhatNeedsIt()
    {
        QFETCH(QString, cell);
        QFETCH(QByteArray, field);
        QCOMPARE(cli::CsvWriter::field(cell), field);
    }

    void testJsonEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("plain") << u"Germany"_s << QByteArray("\"Germany\"");
        QTest::newRow("quote and backslash") << u"a\"b\\c"_s << QByteArray("\"a\\\"b\\\\c\"");
        QTest::newRow("controls") << u"\t\r\n\u0001"_s << QByteArray("\"\\t\\r\\n\\u0001\"");
        QTest::newRow("non-ASCII stays UTF-8") << u"Côte"_s << QByteArray("\"C\xc3\xb4te\"");
    }

    void testJsonEscapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, json);
        QCOMPARE(cli::JsonLinesWriter::string(text), json);
    }

    void testRowsEndAsTheirFormatsSay()
    {
        const cli::Row row{u"a,b"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s};
        cli::CsvWriter csv;
        QCOMPARE(csv.begin(), QByteArray("IP Address(es),Status,Country,Country Code,Continent\r\n"));
        QCOMPARE(csv.row(row), QByteArray("\"a,b\",Completed,Germany,DE,Europe\r\n"));
        cli::JsonLinesWriter json;
        QCOMPARE(json.row(row), QByteArray("{\"address\":\"a,b\",\"status\":\"Completed\",\"country\":\"Germany\","
                                           "\"country_code\":\"DE\",\"continent\":\"Europe\"}\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliFormats)
#include "tst_CliFormats.moc"
