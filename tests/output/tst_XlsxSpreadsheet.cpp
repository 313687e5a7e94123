#include "core/EventPump.h"
#include "core/Failure.h"
#include "output/XlsxSpreadsheet.h"
#include "support/SheetReader.h"
#include "support/StandInProgram.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const char* const ExportChildVariable = "TST_XLSX_EXPORT_THEN_END";

// The child's part of testWhatOutlivesTheProgram: one workbook shown in the stand-in program in folder bin,
// the paths of the workbooks kept as files on standard output, then the end of the program.
int exportThenEnd(const QString& bin)
{
    std::unique_ptr<output::SpreadsheetApplication> app = output::XlsxSpreadsheet::create();
    output::SpreadsheetSheet& sheet = app->workbooksAdd().activeSheet();
    sheet.setCell(1, 1, u"IP Address(es)"_s);
    sheet.setCellValue(2, 1, u"1.2.3.4"_s);
    app->setVisible(true);
    // The spreadsheet program has read the file before this program ends.
    if (standInArguments(bin).isEmpty())
        return 1;
    QTextStream(stdout) << app->savedWorkbooks().join(u'\n');
    return 0;
}

void writeScript(const QString& path, const QByteArray& text)
{
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(text);
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class TestXlsxSpreadsheet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_path;

private slots:
    void initTestCase() { m_path = qgetenv("PATH"); }
    void cleanup() { qputenv("PATH", m_path); }

    void testCellsAreTextReadBackByARealReader()
    {
        const QString file = m_dir.filePath(u"cells.xlsx"_s);
        {
            output::XlsxWorkbook book(file, m_dir.path());
            output::SpreadsheetSheet& sheet = book.activeSheet();
            sheet.setCell(1, 1, u"Header"_s);
            sheet.setCell(1, 2, u"Second"_s);
            sheet.autofitColumn(1);
            sheet.setCellValue(2, 1, u"=1+2"_s);
            sheet.setCellValue(2, 2, u"007"_s);
            sheet.setCellValue(4, 1, u"Côte d’Ivoire"_s);
            sheet.setCellValue(4, 2, u"two\nlines"_s);
            sheet.setCellValue(4, 3, QString());
            sheet.autofitColumns();
            book.close();
        }
        QString error;
        const QList<QStringList> rows = readSheet(file, &error);
        QVERIFY2(!rows.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0], (QStringList{u"Header"_s, u"Second"_s}));
        QCOMPARE(rows[1], (QStringList{u"=1+2"_s, u"007"_s}));
        QCOMPARE(rows[2], (QStringList{QString(), QString()}));
        QCOMPARE(rows[3], (QStringList{u"Côte d’Ivoire"_s, u"two\nlines"_s}));
        const QByteArray xml = sheetXml(file);
        QVERIFY(!xml.contains("<f>"));
    }

    void testColumnsAreFittedToTheirLongestLine()
    {
        const QString file = m_dir.filePath(u"widths.xlsx"_s);
        output::XlsxWorkbook book(file, m_dir.path());
        output::SpreadsheetSheet& sheet = book.activeSheet();
        sheet.setCell(1, 1, u"ab"_s);
        sheet.autofitColumn(1); // fitted to the header only; the later autofit of all widens it
        sheet.setCell(1, 2, u"x"_s);
        sheet.setCellValue(2, 1, QString(40, u'a'));
        sheet.setCellValue(2, 2, u"short\r\n"_s + QString(20, u'b'));
        sheet.setCellValue(3, 3, QString(1000, u'c'));
        sheet.autofitColumns();
        book.close();
        const QString xml = QString::fromUtf8(sheetXml(file));
        QRegularExpression col(uR"re(<col min="(\d+)" max="\d+" width="([\d.]+)")re"_s);
        QMap<int, double> widths;
        for (const auto& m : col.globalMatch(xml))
            widths[m.captured(1).toInt()] = m.captured(2).toDouble();
        QCOMPARE(widths.keys(), (QList<int>{1, 2, 3}));
        QVERIFY(widths[1] > 40 && widths[1] < 50);
        QVERIFY(widths[2] > 20 && widths[2] < widths[1]);
        QVERIFY(widths[3] >= output::XlsxWorkbook::MaxColumnWidth &&
                widths[3] < output::XlsxWorkbook::MaxColumnWidth + 1);
    }

    void testRefusedCellsAreReported_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("description");
        QTest::newRow("longer than a cell holds") << 3 << QString(100000, u'x') << u"left empty"_s;
        QTest::newRow("above a filled row") << 1 << u"late"_s << u"top to bottom"_s;
        QTest::newRow("row 0") << 0 << u"x"_s << u"no cell"_s;
    }

    void testRefusedCellsAreReported()
    {
        QFETCH(int, row);
        QFETCH(QString, text);
        QFETCH(QString, description);
        const QString file = m_dir.filePath(u"refused.xlsx"_s);
        output::XlsxWorkbook book(file, m_dir.path());
        output::SpreadsheetSheet& sheet = book.activeSheet();
        sheet.setCellValue(2, 1, u"kept"_s);
        try {
            sheet.setCellValue(row, 1, text);
            QFAIL("the cell was taken");
        } catch (const core::Failure& failure) {
            QVERIFY2(failure.description().contains(description), qPrintable(failure.description()));
        }
        sheet.setCellValue(5, 1, u"after"_s);
        book.close();
        const QList<QStringList> rows = readSheet(file);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[1].value(0), u"kept"_s);
        QCOMPARE(rows[2].value(0), QString());
        QCOMPARE(rows[4].value(0), u"after"_s);
    }

    void testNoProgramFoundMeansNotInstalled()
    {
        QTemporaryDir empty;
        qputenv("PATH", QFile::encodeName(empty.path()));
        QVERIFY_THROWS_EXCEPTION(core::Failure, output::XlsxSpreadsheet::create());
    }

    void testClosingTheWindowEndsTheSearchForADefaultProgram()
    {
        // Only the desktop's default program is left, and asking for it hangs.
        QTemporaryDir bin;
        for (const char* name : {"xdg-open", "xdg-mime"})
            writeScript(bin.filePath(QString::fromLatin1(name)), "#!/bin/sh\nexec /bin/sleep 30\n");
        qputenv("PATH", QFile::encodeName(bin.path()));
        QTimer::singleShot(100, [] { core::EventPump::requestQuit(); });
        QVERIFY_THROWS_EXCEPTION(core::Abandoned, output::XlsxSpreadsheet::create());
        core::EventPump::clearQuitRequest();
    }

    void testShownWorkbookIsOpenedInTheSpreadsheetProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("LibreOffice") << u"soffice"_s << QStringList{u"--calc"_s, u"-n"_s};
        QTest::newRow("LibreOffice by its other name") << u"libreoffice"_s << QStringList{u"--calc"_s, u"-n"_s};
    }

    void testShownWorkbookIsOpenedInTheSpreadsheetProgram()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QTemporaryDir bin;
        QVERIFY(writeStandInProgram(bin.path(), program));
        qputenv("PATH", QFile::encodeName(bin.path()));
        QString shownPath;
        {
            std::unique_ptr<output::SpreadsheetApplication> app = output::XlsxSpreadsheet::create();
            output::SpreadsheetSheet& sheet = app->workbooksAdd().activeSheet();
            sheet.setCell(1, 1, u"IP Address(es)"_s);
            sheet.setCellValue(2, 1, u"1.2.3.4"_s);
            app->setVisible(true);
            QStringList got = standInArguments(bin.path());
            QVERIFY(!got.isEmpty());
            shownPath = got.takeLast();
            QCOMPARE(got, arguments);
            QVERIFY(shownPath.endsWith(u".xlsx"_s));
            QVERIFY(!shownPath.startsWith(m_dir.path()));
            QCOMPARE(QFile(QFileInfo(shownPath).path()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                     QFile::Permissions());
        }
        // The program may read the file after we released the application: it stays.
        QVERIFY(QFileInfo::exists(shownPath));
        const QList<QStringList> rows = readSheet(bin.filePath(u"opened.xlsx"_s));
        QCOMPARE(rows.value(0).value(0), u"IP Address(es)"_s);
        QCOMPARE(rows.value(1).value(0), u"1.2.3.4"_s);
    }

    // A program that opens the file itself saves the user's changes into it: that file must outlive us.
    void testWhatOutlivesTheProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("documents"); // under the home folder; empty: the workbook is not kept
        QTest::newRow("LibreOffice: a new document, the file goes")
            << u"soffice"_s << QStringList{u"--calc"_s, u"-n"_s} << QString();
        QTest::newRow("Gnumeric: kept in the documents folder") << u"gnumeric"_s << QStringList{} << u"Documents"_s;
        QTest::newRow("default program: kept in the desktop's documents folder")
            << u"xdg-open"_s << QStringList{} << u"Dokumente"_s;
    }

    void testWhatOutlivesTheProgram()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, documents);
        QTemporaryDir bin;
        QTemporaryDir home;
        QTemporaryDir temp;
        QVERIFY(writeStandInProgram(bin.path(), program));
        if (program == u"xdg-open"_s) {
            writeScript(bin.filePath(u"xdg-mime"_s), "#!/bin/sh\necho gnumeric.desktop\n");
            QVERIFY(QDir(home.path()).mkpath(u".config"_s));
            QFile dirs(home.filePath(u".config/user-dirs.dirs"_s));
            QVERIFY(dirs.open(QIODevice::WriteOnly));
            dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"XDG_CONFIG_HOME"_s);
        environment.insert(u"PATH"_s, bin.path());
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"TMPDIR"_s, temp.path());
        environment.insert(QString::fromLatin1(ExportChildVariable), bin.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList saved = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);

        QStringList got = standInArguments(bin.path());
        QVERIFY(!got.isEmpty());
        const QString shown = got.takeLast();
        QCOMPARE(got, arguments);
        QVERIFY(sheetXml(bin.filePath(u"opened.xlsx"_s)).contains("1.2.3.4"));
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        if (documents.isEmpty()) {
            QVERIFY(saved.isEmpty());
            QVERIFY(!QFileInfo::exists(shown));
        } else {
            QVERIFY(sheetXml(shown).contains("1.2.3.4"));
            QCOMPARE(QFileInfo(shown).path(), home.filePath(documents + u"/Tellurion exports"_s));
            QCOMPARE(saved, QStringList{shown});
        }
    }

    void testWorkbookNeverShownLeavesNothingBehind()
    {
        QTemporaryDir bin;
        QVERIFY(writeStandInProgram(bin.path(), u"soffice"_s));
        qputenv("PATH", QFile::encodeName(bin.path()));
        const QStringList before = QDir::temp().entryList({u"tellurion-*"_s}, QDir::Dirs);
        {
            std::unique_ptr<output::SpreadsheetApplication> app = output::XlsxSpreadsheet::create();
            app->workbooksAdd().activeSheet().setCell(1, 1, u"x"_s);
            QCOMPARE(QDir::temp().entryList({u"tellurion-*"_s}, QDir::Dirs).size(), before.size() + 1);
        }
        QCOMPARE(QDir::temp().entryList({u"tellurion-*"_s}, QDir::Dirs), before);
        QVERIFY(!QFileInfo::exists(bin.filePath(u"arguments.txt"_s)));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ExportChildVariable))
        return exportThenEnd(qEnvironmentVariable(ExportChildVariable));
    TestXlsxSpreadsheet test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_XlsxSpreadsheet.moc"
