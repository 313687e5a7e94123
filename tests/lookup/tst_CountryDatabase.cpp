#include "core/Failure.h"
#include "lookup/CountryDatabase.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using lookup::LookupCountry;

class TestCountryDatabase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_database;

    // A small database of our own, with a row of Null names and a plain (not NOCASE) column, so that
    // letter case is the query's business.
    static void build(const QString& path, bool withView)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"build"_s);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(u"create table countries (countrycode text, country text, continent text)"_s));
            QVERIFY(q.exec(u"insert into countries values ('DE', 'Germany', 'Europe'), ('NU', null, null), "
                           u"('JP', 'Japan', 'Asia'), ('JP', 'Second Japan', 'Asia'), ('', 'Empty', 'None')"_s));
            if (withView)
                QVERIFY(q.exec(u"create view qryCountries as select countrycode, country, continent, 1 as extra "
                               u"from countries"_s));
            db.close();
        }
        QSqlDatabase::removeDatabase(u"build"_s);
    }

private slots:
    void initTestCase()
    {
        m_database = m_dir.filePath(u"dbCountries.mdb"_s);
        build(m_database, true);
    }

    void testLookup_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("continent");
        QTest::newRow("known") << u"DE"_s << u"Germany"_s << u"Europe"_s;
        QTest::newRow("lower case") << u"de"_s << u"Germany"_s << u"Europe"_s;
        QTest::newRow("unknown") << u"XX"_s << QString() << QString();
        QTest::newRow("Null names") << u"NU"_s << QString() << QString();
        QTest::newRow("first row wins") << u"JP"_s << u"Japan"_s << u"Asia"_s;
        QTest::newRow("empty code matches an empty code") << QString() << u"Empty"_s << u"None"_s;
        QTest::newRow("quote is an unknown code") << u"D'E"_s << QString() << QString();
        QTest::newRow("injection is an unknown code") << u"x' or '1'='1"_s << QString() << QString();
        QTest::newRow("blanks are part of the code") << u" DE"_s << QString() << QString();
    }

    void testLookup()
    {
        QFETCH(QString, code);
        QFETCH(QString, country);
        QFETCH(QString, continent);
        const lookup::CountryNames names = LookupCountry(m_database, code);
        QCOMPARE(names.country, country);
        QCOMPARE(names.continent, continent);
    }

    void testCodeByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("as stored") << u"Germany"_s << u"DE"_s;
        QTest::newRow("letter case and spacing") << u"  UNITED   kingdom "_s << u"GB"_s; // ahead of UK
        QTest::newRow("unknown") << u"Germania"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void testCodeByName()
    {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(lookup::LookupCountryCodeByName(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s, name), code);
    }

    void testEveryCallClosesItsConnection()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        LookupCountry(m_database, u"DE"_s);
        LookupCountry(m_database, u"DE"_s);
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }

    void testShippedDatabase()
    {
        const auto names = LookupCountry(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s, u"fr"_s);
        QCOMPARE(names.country, u"France"_s);
        QCOMPARE(names.continent, u"Europe"_s);
    }

    void testDatabaseIsNeverWritten()
    {
        const QByteArray before = [&] {
            QFile f(m_database);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        LookupCountry(m_database, u"DE"_s);
        QFile f(m_database);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY(!QFile::exists(m_database + u"-journal"_s));
    }

    void testBrokenDatabaseFails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("words");
        QTest::newRow("missing file") << u"absent.mdb"_s << u"Could not find file"_s;
        QTest::newRow("not a database") << u"text.mdb"_s << u"not a database"_s;
        QTest::newRow("missing view") << u"noview.mdb"_s << u"qryCountries"_s;
    }

    void testBrokenDatabaseFails()
    {
        QFETCH(QString, file);
        QFETCH(QString, words);
        {
            QFile text(m_dir.filePath(u"text.mdb"_s));
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(QByteArray(4096, 'z'));
        }
        if (!QFile::exists(m_dir.filePath(u"noview.mdb"_s)))
            build(m_dir.filePath(u"noview.mdb"_s), false);
        const QStringList before = QSqlDatabase::connectionNames();
        try {
            LookupCountry(m_dir.filePath(file), u"DE"_s);
            QFAIL("no failure");
        } catch (const core::Failure& failure) {
            QVERIFY2(failure.description().contains(words, Qt::CaseInsensitive), qPrintable(failure.description()));
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
        QVERIFY(!QFile::exists(m_dir.filePath(u"absent.mdb"_s)));
    }
};

QTEST_GUILESS_MAIN(TestCountryDatabase)
#include "tst_CountryDatabase.moc"
