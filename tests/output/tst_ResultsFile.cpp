#include "core/Failure.h"
#include "core/ResultsModel.h"
#include "output/ResultsFile.h"
#include "support/ResultsRows.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/fsuid.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<ResultsRow>)

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// File rights of an ordinary user for as long as it lives. Root may write anywhere, so as root it takes those
// of the overflow user "nobody", on this thread only (the file-system user id is per thread).
class OrdinaryUser
{
public:
    OrdinaryUser() : m_root(::geteuid() == 0)
    {
        if (m_root)
            ::setfsuid(65534);
    }
    ~OrdinaryUser()
    {
        if (m_root)
            ::setfsuid(0);
    }

private:
    bool m_root;
};

void writeOld(const QString& path, bool writable)
{
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QVERIFY(old.setPermissions(writable ? QFile::Permissions(0x6666) : QFile::Permissions(0x4444)));
}

bool mount(const QStringList& arguments)
{
    return QProcess::execute(u"mount"_s, arguments) == 0;
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

    void testFolderThatTakesNoNewFile_data()
    {
        QTest::addColumn<bool>("readOnlyMount"); // else a folder the user may not write to
        QTest::addColumn<bool>("fileWritable");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("failure");
        const QByteArray fresh = "1.2.3.4\r\nCompleted\r\n\r\n\r\n\r\n==================\r\n";
        QTest::newRow("the file is written over") << false << true << true << fresh << QString();
        QTest::newRow("ended before the commit: the old file stays")
            << false << true << false << QByteArray("old") << QString();
        QTest::newRow("nor is the file writable: its own cause")
            << false << false << true << QByteArray("old") << u"Could not write"_s;
        QTest::newRow("read-only mount with the file mounted writable into it")
            << true << true << true << fresh << QString();
    }

    void testFolderThatTakesNoNewFile()
    {
        QFETCH(bool, readOnlyMount);
        QFETCH(bool, fileWritable);
        QFETCH(bool, finished);
        QFETCH(QByteArray, expected);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7755)));
        const QString folder = dir.filePath(u"folder"_s);
        const QString path = folder + u"/results.txt"_s;
        const QString writable = dir.filePath(u"writable.txt"_s);
        QVERIFY(QDir().mkdir(folder));
        writeOld(path, fileWritable);
        writeOld(writable, fileWritable);
        const auto restore = qScopeGuard([&] {
            if (readOnlyMount) {
                QProcess::execute(u"umount"_s, {path});
                QProcess::execute(u"umount"_s, {folder});
            }
            QFile::setPermissions(folder, QFile::Permissions(0x7755));
        });
        std::optional<OrdinaryUser> user;
        if (readOnlyMount) {
            if (!mount({u"--bind"_s, folder, folder}) || !mount({u"-o"_s, u"remount,bind,ro"_s, folder}) ||
                !mount({u"--bind"_s, writable, path}))
                QSKIP("bind mounts are not possible here (they need root)");
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x5555)));
            user.emplace();
        }

        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, {{{u"1.2.3.4"_s, u"Completed"_s}, false}});
        QString reported;
        try {
            if (finished) {
                output::SaveResultsFile(output::ResultsModelTable(model), path);
            } else {
                output::ResultsFile file(path);
                file.open();
                file.writeRow(output::ResultsModelTable(model), 0);
            }
        } catch (const core::Failure& f) {
            reported = f.description();
        }
        user.reset();
        QVERIFY2(failure.isEmpty() ? reported.isEmpty() : reported.contains(failure), qPrintable(reported));
        if (!failure.isEmpty())
            QVERIFY2(reported.contains(u"Permission denied"_s), qPrintable(reported));
        QCOMPARE(readAll(path), expected);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"results.txt"_s});
    }

    void testFullDiskWhileWritingOverSaysTheFileHoldsPartOfTheResults()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7755)));
        const QString disk = dir.filePath(u"disk"_s);
        QVERIFY(QDir().mkdir(disk));
        if (!mount({u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k,mode=0555"_s, u"tmpfs"_s, disk}))
            QSKIP("mounting a small file system needs root");
        const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {disk}); });
        const QString path = disk + u"/results.txt"_s;
        writeOld(path, true);

        core::ResultsModel model;
        addResultsColumns(model);
        addResultsRows(model, QList<ResultsRow>(3000, {{u"192.168.100.200"_s, u"Completed"_s, u"Germany"_s}, false}));
        QString reported;
        try {
            OrdinaryUser user;
            output::SaveResultsFile(output::ResultsModelTable(model), path);
        } catch (const core::Failure& f) {
            reported = f.description();
        }
        QVERIFY2(reported.contains(u"No space left on device. The file holds only part of the results."_s),
                 qPrintable(reported));
        QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"results.txt"_s});
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
