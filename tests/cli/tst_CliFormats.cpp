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
        QTest::newRow("unknown source") << QStringList{u"--source"_s, u"web,carrier-pigeon"_s} << usage << 4
                                        << QStringList{};
        QTest::newRow("source named twice") << QStringList{u"--source=web,web"_s} << usage << 4 << QStringList{};
        QTest::newRow("empty source list") << QStringList{u"--source="_s} << usage << 4 << QStringList{};
        QTest::newRow("unknown field") << QStringList{u"--fields"_s, u"+colour"_s} << usage << 4 << QStringList{};
        QTest::newRow("cross-check with a value") << QStringList{u"--cross-check=yes"_s} << usage << 4 << QStringList{};
        QTest::newRow("fields mixing a list and additions")
            << QStringList{u"--fields"_s, u"address,+source"_s} << usage << 4 << QStringList{};
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

    void testRate_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<double>("rate"); // -1: a usage error
        QTest::newRow("one a second by default") << QStringList{} << 1.0;
        QTest::newRow("no limit") << QStringList{u"--rate"_s, u"0"_s} << 0.0;
        QTest::newRow("a fraction") << QStringList{u"--rate=0.5"_s} << 0.5;
        QTest::newRow("negative") << QStringList{u"--rate"_s, u"-1"_s} << -1.0;
        QTest::newRow("not a number") << QStringList{u"--rate"_s, u"fast"_s} << -1.0;
        QTest::newRow("infinite") << QStringList{u"--rate"_s, u"inf"_s} << -1.0;
        QTest::newRow("missing value") << QStringList{u"--rate"_s} << -1.0;
    }

    void testRate()
    {
        QFETCH(QStringList, args);
        QFETCH(double, rate);
        const ParseOutcome outcome = cli::parseCommandLine(QStringList{u"tellurion-cli"_s} + args);
        QCOMPARE(outcome.action == ParseOutcome::Action::UsageError, rate < 0);
        if (rate >= 0)
            QCOMPARE(outcome.options.rate, rate);
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

    void testFieldsChooseTheColumns_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<bool>("crossCheck");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("row");
        QTest::newRow("default") << QString() << false
                                 << QByteArray("IP Address(es),Status,Country,Country Code,Continent")
                                 << QByteArray("\"a,b\",Completed,Germany,DE,Europe");
        QTest::newRow("additions follow the five")
            << u"+source,+network,+cached"_s << false
            << QByteArray("IP Address(es),Status,Country,Country Code,Continent,source,network,cached")
            << QByteArray("\"a,b\",Completed,Germany,DE,Europe,site2,192.0.2.0/24,true");
        QTest::newRow("a whole list, in its order, once each")
            << u"country_code,address,country_code"_s << false << QByteArray("Country Code,IP Address(es)")
            << QByteArray("DE,\"a,b\"");
        QTest::newRow("cross-check adds its two")
            << QString() << true
            << QByteArray("IP Address(es),Status,Country,Country Code,Continent,offline_country_code,agrees")
            << QByteArray("\"a,b\",Completed,Germany,DE,Europe,AU,false");
        QTest::newRow("cross-check after additions")
            << u"+agrees,+source"_s << true
            << QByteArray("IP Address(es),Status,Country,Country Code,Continent,agrees,source,offline_country_code")
            << QByteArray("\"a,b\",Completed,Germany,DE,Europe,false,site2,AU");
        QTest::newRow("cross-check keeps a whole list")
            << u"country_code,address"_s << true << QByteArray("Country Code,IP Address(es)")
            << QByteArray("DE,\"a,b\"");
    }

    void testFieldsChooseTheColumns()
    {
        QFETCH(QString, fields);
        QFETCH(bool, crossCheck);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, row);
        QStringList args{u"tellurion-cli"_s};
        if (!fields.isEmpty())
            args << u"--fields"_s << fields;
        if (crossCheck)
            args << u"--cross-check"_s;
        const ParseOutcome outcome = cli::parseCommandLine(args);
        QCOMPARE(int(outcome.action), int(ParseOutcome::Action::Run));
        cli::Row r;
        r.address = u"a,b"_s;
        r.status = u"Completed"_s;
        r.country = u"Germany"_s;
        r.code = u"DE"_s;
        r.continent = u"Europe"_s;
        r.source = u"site2"_s;
        r.network = u"192.0.2.0/24"_s;
        r.cached = true;
        r.offlineCode = u"AU"_s;
        r.agrees = false;
        cli::CsvWriter csv(outcome.options.fields);
        QCOMPARE(csv.begin(), header + "\r\n");
        QCOMPARE(csv.row(r), row + "\r\n");
        // TSV has the same columns, unquoted.
        cli::TsvWriter tsv(outcome.options.fields);
        QCOMPARE(tsv.row(r), QByteArray(row).replace("\"", "").replace(',', '\t').replace("a\tb", "a,b") + '\n');
    }

    void testJsonCarriesTheSourceAndAnyExtraField()
    {
        cli::Row r;
        r.address = u"192.0.2.1"_s;
        r.status = u"Completed"_s;
        r.code = u"DE"_s;
        r.source = u"offline"_s;
        r.agrees = false;
        QCOMPARE(cli::JsonLinesWriter().row(r),
                 QByteArray("{\"address\":\"192.0.2.1\",\"status\":\"Completed\",\"country\":\"\",\"country_code\":\"DE\","
                            "\"continent\":\"\",\"source\":\"offline\",\"cached\":false,\"network\":\"\"}\n"));
        QVERIFY(cli::JsonLinesWriter({cli::Field::Agrees, cli::Field::Source}).row(r).endsWith(",\"agrees\":false}\n"));
        r.agrees.reset();
        QVERIFY(cli::JsonLinesWriter({cli::Field::Agrees}).row(r).endsWith(",\"agrees\":null}\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliFormats)
#include "tst_CliFormats.moc"
