#include "core/Failure.h"
#include "core/ResultsModel.h"
#include "output/ResultsFile.h"
#include "support/ResultsRows.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<ResultsRow>)

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestResultsFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void testBytes_data()
    {
        QTest::addColumn<QList<ResultsRow>>("rows");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty table gives 0 bytes") << QList<ResultsRow>{} << QByteArray();
        QTest::newRow("every row, ticked or not, cells as they stand")
            << QList<ResultsRow>{{{u"1.2.3.4"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}, false},
                                 {{u" x "_s, u"Failed"_s}, true}}
            << QByteArray("1.2.3.4\r\nCompleted\r\nGermany\r\nDE\r\nEurope\r\n==================\r\n"
                          " x \r\nFailed\r\n\r\n\r\n\r\n==================\r\n");
        QTest::newRow("line breaks in a cell lengthen its block")
            << QList<ResultsRow>{{{u"a\r\nb"_s, u"c\nd"_s, u"e"_s, u"f"_s, u"g"_s}, false}}
            << QByteArray("a\r\nb\r\nc\nd\r\ne\r\nf\r\ng\r\n==================\r\n");
        QTest::newRow("non-ASCII in the system encoding")
            << QList<ResultsRow>{{{u"bücher.example"_s, u"Completed"_s, u"Côte d’Ivoire"_s, u"CI"_s, u"Africa"_s},
                                  false}}
            << QByteArray("b\xc3\xbc"
                          "cher.example\r\nCompleted\r\nC\xc3\xb4te d\xe2\x80\x99Ivoire\r\nCI\r\nAfrica\r\n"
                          "==================\r\n");
    }

    void testBytes()
    {
        QFETCH(QList<ResultsRow>, rows);
        QFETCH(QByteArray, expected);
        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, rows);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        output::SaveResultsFile(output::ResultsModelTable(model), path);
        QCOMPARE(readAll(path), expected);
    }

    void testHugeCellIsWrittenWhole()
    {
        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, {{{QString(100000, u'w'), u"Completed"_s}, false}});
        const QString path = m_dir.filePath(u"huge.txt"_s);
        output::SaveResultsFile(output::ResultsModelTable(model), path);
        QCOMPARE(readAll(path), QByteArray(100000, 'w') + "\r\nCompleted\r\n\r\n\r\n\r\n==================\r\n");
    }

    void testUnencodableCharacterIsWrittenAsTheEncoderDoesAndReported()
    {
        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, {{{u"a"_s + QChar(0xD800) + u"b"_s, u"Completed"_s}, false}});
        const QString path = m_dir.filePath(u"surrogate.txt"_s);
        try {
            output::SaveResultsFile(output::ResultsModelTable(model), path);
            QFAIL("the replaced character was not reported");
        } catch (const core::Failure& failure) {
            QVERIFY2(failure.description().contains(u"replacement characters"_s), qPrintable(failure.description()));
        }
        // Saved in full all the same, the lone half of a pair replaced rather than dropped.
        QCOMPARE(readAll(path), QByteArray("a\xef\xbf\xbd"
                                           "b\r\nCompleted\r\n\r\n\r\n\r\n==================\r\n"));
    }

    void testUnwritablePathsFailAndLeaveNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("a directory") << m_dir.path();
        QTest::newRow("under a file") << m_dir.filePath(u"plain/results.txt"_s);
        QTest::newRow("missing folder") << m_dir.filePath(u"missing/results.txt"_s);
    }

    void testUnwritablePathsFailAndLeaveNothing()
    {
        QFETCH(QString, path);
        QFile plain(m_dir.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, {{{u"1.2.3.4"_s}, false}});
        QVERIFY_THROWS_EXCEPTION(core::Failure, output::SaveResultsFile(output::ResultsModelTable(model), path));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }
};

QTEST_GUILESS_MAIN(TestResultsFile)
#include "tst_ResultsFile.moc"
