#include "addresses/AddressListModel.h"
#include "core/Failure.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using addresses::AddressListModel;

class TestAddressListModel : public QObject
{
    Q_OBJECT

private slots:
    void testBatchAppendIsOneInsertionInOrder()
    {
        AddressListModel model;
        model.append(u"first"_s);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append(QStringList{u"a"_s, QString(), u" b "_s});
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(model.count(), 4);
        QCOMPARE(model.entry(2), QString());
        QCOMPARE(model.entry(3), u" b "_s);
    }

    void testRemoveKeepsTheOthersInOrder()
    {
        AddressListModel model;
        model.append(QStringList{u"1"_s, u"2"_s, u"3"_s});
        model.removeAt(1);
        QCOMPARE(model.count(), 2);
        QCOMPARE(model.entry(0), u"1"_s);
        QCOMPARE(model.entry(1), u"3"_s);
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.removeAt(2));
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.entry(-1));
    }

    void testEntriesAreKeptExactly_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("100,000 characters") << QString(100000, u'a');
        QTest::newRow("control characters") << u"a\tb\u0001\u0000c\r\n"_s;
        QTest::newRow("blanks") << u"   "_s;
        QTest::newRow("scheme") << u"http://www.Name.tld/"_s;
    }

    void testEntriesAreKeptExactly()
    {
        QFETCH(QString, entry);
        AddressListModel model;
        model.addColumn(u"IP Address(es)"_s);
        model.append(entry);
        QCOMPARE(model.entry(0), entry);
        const QString shown = model.data(model.index(0, 0), Qt::DisplayRole).toString();
        QVERIFY(shown.size() <= 2100);
        QVERIFY(entry.startsWith(shown.left(2000)));
    }

    void testNoColumnUntilCreated()
    {
        AddressListModel model;
        QCOMPARE(model.columnCount(), 0);
        model.addColumn(u"IP Address(es)"_s);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"IP Address(es)"_s);
        QVERIFY_THROWS_EXCEPTION(core::Failure, model.addColumn(u"second"_s));
    }
};

QTEST_GUILESS_MAIN(TestAddressListModel)
#include "tst_AddressListModel.moc"
