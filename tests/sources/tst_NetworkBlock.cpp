// What an answer covers: the block a WHOIS record names for an address, and the registration of a name.
#include "sources/Coverage.h"
#include "sources/NetworkBlock.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace sources;

class TestNetworkBlock : public QObject
{
    Q_OBJECT

private slots:
    void testBlockOfRecord_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("network"); // empty: no block

        QTest::newRow("RIPE inetnum range, one prefix")
            << u"% Information related to '192.0.2.0 - 192.0.2.255'\r\n\r\ninetnum:        192.0.2.0 - 192.0.2.255\r\n"
               "netname:        EXAMPLE-NET\r\ncountry:        DE\r\n"_s
            << u"192.0.2.77"_s << u"192.0.2.0/24"_s;
        QTest::newRow("inetnum range that is no prefix")
            << u"inetnum: 192.0.2.0 - 192.0.2.99\r\ncountry: FR"_s << u"192.0.2.99"_s << u"192.0.2.0 - 192.0.2.99"_s;
        QTest::newRow("ARIN: several CIDRs on one line, the smallest that holds it")
            << u"NetRange:       198.51.100.0 - 198.51.103.255\r\nCIDR:           198.51.100.0/23, 198.51.102.0/24, "
               "198.51.103.0/24\r\nNetName:        EXAMPLE\r\nCountry:        US\r\n"_s
            << u"198.51.102.9"_s << u"198.51.102.0/24"_s;
        QTest::newRow("ARIN: allocation and reassignment, the inner one")
            << u"NetRange:       8.0.0.0 - 8.127.255.255\r\nCIDR:           8.0.0.0/9\r\nCountry:        US\r\n\r\n"
               "NetRange:       8.8.8.0 - 8.8.8.255\r\nCIDR:           8.8.8.0/24\r\nCountry:        US\r\n"_s
            << u"8.8.8.8"_s << u"8.8.8.0/24"_s;
        QTest::newRow("inner block named first")
            << u"route: 203.0.113.64/26\r\ninetnum: 203.0.112.0 - 203.0.115.255\r\ncountry: AU"_s << u"203.0.113.70"_s
            << u"203.0.113.64/26"_s;
        QTest::newRow("IPv6 inet6num and a smaller route6")
            << u"inet6num:       2001:db8::/32\r\ncountry:        NL\r\n\r\nroute6:         2001:db8:1000::/36\r\n"
               "origin:         AS64500\r\n"_s
            << u"2001:db8:1234::1"_s << u"2001:db8:1000::/36"_s;
        QTest::newRow("IPv6 NetRange")
            << u"NetRange:       2001:db8:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff\r\nCountry: US"_s
            << u"2001:db8::5"_s << u"2001:db8::/32"_s;
        QTest::newRow("route object only") << u"route:          203.0.113.0/24\r\norigin:         AS64500"_s
                                           << u"203.0.113.250"_s << u"203.0.113.0/24"_s;
        QTest::newRow("abbreviated IPv4 prefix (LACNIC)")
            << u"inetnum:     200.160/12\r\nstatus:      allocated\r\ncountry:     BR"_s << u"200.165.1.1"_s
            << u"200.160.0.0/12"_s;
        QTest::newRow("host bits of a prefix are ignored")
            << u"CIDR:192.0.2.130/25"_s << u"192.0.2.200"_s << u"192.0.2.128/25"_s;
        QTest::newRow("IPv4-mapped address in an IPv4 block")
            << u"inetnum: 192.0.2.0 - 192.0.2.255"_s << u"::ffff:192.0.2.7"_s << u"192.0.2.0/24"_s;
        QTest::newRow("remark before a range")
            << u"inetnum: 192.0.2.0 - 192.0.2.127 (assigned)\r\ncountry: SE"_s << u"192.0.2.1"_s << u"192.0.2.0/25"_s;
        QTest::newRow("record without a block")
            << u"netname: EXAMPLE\r\ncountry: DE\r\n"_s << u"192.0.2.1"_s << QString();
        QTest::newRow("block that does not hold the address")
            << u"inetnum: 192.0.2.0 - 192.0.2.255\r\ncountry: DE"_s << u"198.51.100.1"_s << QString();
        QTest::newRow("the block that holds it, beside one that does not")
            << u"inetnum: 10.0.0.0 - 10.0.0.255\r\nroute: 192.0.2.0/24\r\n"_s << u"192.0.2.5"_s << u"192.0.2.0/24"_s;
        QTest::newRow("a key inside a remark is no key")
            << u"remarks: see inetnum: 10.0.0.0 - 10.255.255.255\r\ncountry: DE"_s << u"10.1.1.1"_s << QString();
        QTest::newRow("bad octet") << u"inetnum: 192.0.2.300 - 192.0.2.255"_s << u"192.0.2.1"_s << QString();
        QTest::newRow("prefix longer than the family") << u"CIDR: 192.0.2.0/33"_s << u"192.0.2.0"_s << QString();
        QTest::newRow("range the wrong way round")
            << u"inetnum: 192.0.2.255 - 192.0.2.0"_s << u"192.0.2.1"_s << QString();
        QTest::newRow("range across families") << u"inetnum: 192.0.2.0 - 2001:db8::"_s << u"192.0.2.1"_s << QString();
    }

    void testBlockOfRecord()
    {
        QFETCH(QString, record);
        QFETCH(QString, address);
        QFETCH(QString, network);
        const std::optional<WideAddress> ip = WideAddress::parse(address);
        QVERIFY(ip);
        const std::optional<NetworkBlock> block = NetworkBlock::fromRecord(record, *ip);
        QCOMPARE(block ? block->text() : QString(), network);
        QCOMPARE(coveredNetwork(address, record), network);
        if (block) {
            // What the answer carries reads back as the same block.
            const std::optional<NetworkBlock> again = NetworkBlock::parse(network);
            QVERIFY(again);
            QVERIFY(*again == *block);
        }
    }

    void testCoverageOfEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("domain");
        const int exact = int(Coverage::Kind::Exact);
        const int address = int(Coverage::Kind::Address);
        const int domain = int(Coverage::Kind::Domain);
        QTest::newRow("host under a two-label suffix") << u"mail.example.co.uk"_s << domain << u"example.co.uk"_s;
        QTest::newRow("case and final dot") << u"Example.CO.UK."_s << domain << u"example.co.uk"_s;
        QTest::newRow("a public suffix itself") << u"co.uk"_s << exact << QString();
        QTest::newRow("a private suffix's registrations stay apart")
            << u"photos.blogspot.com"_s << domain << u"photos.blogspot.com"_s;
        QTest::newRow("international name") << u"mail.bücher.de"_s << domain << u"bücher.de"_s;
        QTest::newRow("IPv4") << u"192.0.2.1"_s << address << QString();
        QTest::newRow("IPv6") << u"2001:db8::1"_s << address << QString();
        QTest::newRow("one label") << u"localhost"_s << exact << QString();
        QTest::newRow("part of an address") << u"1.2.3"_s << exact << QString();
        QTest::newRow("five numbers") << u"1.2.3.4.5"_s << exact << QString();
        QTest::newRow("a path") << u"example.com/about"_s << exact << QString();
        QTest::newRow("a blank") << u"exa mple.com"_s << exact << QString();
        QTest::newRow("an empty label") << u"a..example.com"_s << exact << QString();
        QTest::newRow("AS number") << u"AS64500"_s << exact << QString();
    }

    void testCoverageOfEntries()
    {
        QFETCH(QString, entry);
        QFETCH(int, kind);
        QFETCH(QString, domain);
        const Coverage coverage = Coverage::of(entry);
        QCOMPARE(int(coverage.kind), kind);
        QCOMPARE(coverage.domain, domain);
    }
};

QTEST_MAIN(TestNetworkBlock)
#include "tst_NetworkBlock.moc"
