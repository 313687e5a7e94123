#include "lookup/EntryCleaning.h"
#include "lookup/PageAddress.h"
#include "lookup/RecordText.h"
#include "lookup/WhoisScan.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace lookup;

namespace {

QString pre(const QByteArray& html, const QByteArray& contentType = "text/html")
{
    return extractRecordText(html, contentType, RecordElement::FirstByTag, "pre");
}

QStringList scan(const WhoisSite& site, const QString& text, LineRule rule)
{
    QStringList codes;
    ScanWhoisText(site, text, rule, [&](const QString& code) { codes.append(code); });
    return codes;
}

} // namespace

class TestLookupText : public QObject
{
    Q_OBJECT

private slots:
    void testCleaning_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("normalised");
        QTest::addColumn<bool>("www");
        QTest::newRow("scheme, www, slash") << u"http://www.Name.tld/"_s << u"Name.tld"_s << true;
        QTest::newRow("capitals with path") << u"HTTPS://WWW.name.tld/path/"_s << u"name.tld/path"_s << true;
        QTest::newRow("ftp") << u"ftp://192.0.2.7"_s << u"192.0.2.7"_s << false;
        QTest::newRow("bare address") << u"192.0.2.7"_s << u"192.0.2.7"_s << false;
        QTest::newRow("one slash of two") << u"name.tld//"_s << u"name.tld/"_s << false;
        QTest::newRow("one www of two") << u"www.www.name.tld"_s << u"www.name.tld"_s << true;
        QTest::newRow("scheme inside") << u"ahttp://b"_s << u"ab"_s << false;
        QTest::newRow("all capitals") << u"HTTP://WWW.NAME.TLD"_s << u"NAME.TLD"_s << true;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("short www") << u"www"_s << u"www"_s << false;
        QTest::newRow("exactly www.") << u"WwW."_s << QString() << true;
        QTest::newRow("https before http") << u"hthttps://tp://x"_s << u"x"_s << false;
        QTest::newRow("slash then www kept") << u"/www.x"_s << u"/www.x"_s << false;
        QTest::newRow("only a slash") << u"/"_s << QString() << false;
    }

    void testCleaning()
    {
        QFETCH(QString, entry);
        QFETCH(QString, normalised);
        QFETCH(bool, www);
        const CleanedEntry cleaned = cleanEntry(entry);
        QCOMPARE(cleaned.normalised, normalised);
        QCOMPARE(cleaned.wwwEntry, www);
    }

    void testEntryPath_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("blank") << u"a b"_s << QByteArray("a%20b");
        QTest::newRow("query and fragment") << u"x?y#z"_s << QByteArray("x%3Fy%23z");
        QTest::newRow("percent and backslash") << u"100%\\x"_s << QByteArray("100%25%5Cx");
        QTest::newRow("control characters") << u"a\tb\nc\u007f"_s << QByteArray("a%09b%0Ac%7F");
        QTest::newRow("non-ASCII as UTF-8") << u"bücher.de"_s << QByteArray("b%C3%BCcher.de");
        QTest::newRow("path kept") << u"name.tld/path"_s << QByteArray("name.tld/path");
        QTest::newRow("sub-delims kept") << u"a:b@c!$&'()*+,;=-._~"_s << QByteArray("a:b@c!$&'()*+,;=-._~");
        QTest::newRow("not in a path") << u"<\"{|}^`[]>"_s << QByteArray("%3C%22%7B%7C%7D%5E%60%5B%5D%3E");
        QTest::newRow("climbing") << u"../../admin"_s << QByteArray("%2E%2E%2F%2E%2E%2Fadmin");
        QTest::newRow("dot segment inside") << u"a/./b"_s << QByteArray("a%2F%2E%2Fb");
        QTest::newRow("leading slashes") << u"//a/b"_s << QByteArray("%2F%2Fa/b");
        QTest::newRow("segment starting with a dot") << u".x/y"_s << QByteArray("%2Ex%2Fy");
        QTest::newRow("dots inside a name kept") << u"a..b/c"_s << QByteArray("a..b/c");
    }

    void testEntryPath()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, path);
        QCOMPARE(encodeEntryPath(entry), path);
    }

    void testPageAddressStaysUnderTheSitePath_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("address") << u"192.0.2.7"_s << QByteArray("http://www.whois.com/whois/192.0.2.7")
                                 << QByteArray("http://whois.domaintools.com/192.0.2.7");
        QTest::newRow("empty entry ends with the path")
            << QString() << QByteArray("http://www.whois.com/whois/") << QByteArray("http://whois.domaintools.com/");
        QTest::newRow("climbing is one segment")
            << u"../../admin"_s << QByteArray("http://www.whois.com/whois/..%2F..%2Fadmin")
            << QByteArray("http://whois.domaintools.com/..%2F..%2Fadmin");
    }

    void testPageAddressStaysUnderTheSitePath()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QCOMPARE(pageAddress(firstWhoisSite(), entry).toEncoded(), first);
        QCOMPARE(pageAddress(secondWhoisSite(), entry).toEncoded(), second);
    }

    void testEntryOfOnlyDotsHasNoAddress()
    {
        for (const QString& entry : {u"."_s, u".."_s, u"...."_s})
            QVERIFY(!pageAddress(firstWhoisSite(), entry).isValid());
    }

    void testRenderedText_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("first pre of several")
            << QByteArray("<p>x</p><pre>one\nline</pre><pre>two</pre>") << u"one\r\nline"_s;
        QTest::newRow("empty first pre gives empty") << QByteArray("<pre></pre><pre>country: DE</pre>") << QString();
        QTest::newRow("newline after start tag dropped") << QByteArray("<pre>\n\nA\n</pre>") << u"A"_s;
        QTest::newRow("inner empty lines kept") << QByteArray("<pre>A\n\n\nB</pre>") << u"A\r\n\r\n\r\nB"_s;
        QTest::newRow("CR LF and lone CR in source") << QByteArray("<pre>A\r\nB\rC</pre>") << u"A\r\nB\r\nC"_s;
        QTest::newRow("blanks kept in pre") << QByteArray("<pre>  US  \n\tx</pre>") << u"  US  \r\n\tx"_s;
        QTest::newRow("entities") << QByteArray("<pre>a &amp; b &lt;c&gt; &eacute;&#8364;&nbsp;</pre>")
                                  << u"a & b <c> é€\u00a0"_s;
        QTest::newRow("br") << QByteArray("<pre>a<br>b<br/><br>c</pre>") << u"a\r\nb\r\n\r\nc"_s;
        QTest::newRow("hidden content") << QByteArray("<pre>a<script>s</script><style>t</style><template>u</template>"
                                                      "<noscript>v</noscript><span hidden>w</span>b</pre>")
                                        << u"ab"_s;
        QTest::newRow("pre in noscript is not an element")
            << QByteArray("<noscript><pre>country: NS</pre></noscript><pre>country: DE</pre>") << u"country: DE"_s;
        QTest::newRow("inline markup") << QByteArray("<pre>country: <b>D</b><i>E</i></pre>") << u"country: DE"_s;
    }

    void testRenderedText()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, text);
        QCOMPARE(pre("<html><body>" + html + "</body></html>"), text);
    }

    void testRenderedTextOfBlocks_data()
    {
        QTest::addColumn<QByteArray>("inner");
        QTest::addColumn<QString>("text");
        QTest::newRow("white space collapses") << QByteArray("  a \n\t b  ") << u"a b"_s;
        QTest::newRow("blocks start lines") << QByteArray("a<div>b</div>c") << u"a\r\nb\r\nc"_s;
        QTest::newRow("nested blocks one break") << QByteArray("<div><div>a</div></div><div>b</div>") << u"a\r\nb"_s;
        QTest::newRow("paragraph leaves an empty line") << QByteArray("<p>a</p><p>b</p>c") << u"a\r\n\r\nb\r\n\r\nc"_s;
        QTest::newRow("list and headings") << QByteArray("<h1>T</h1><ul><li>x</li><li>y</li></ul>") << u"T\r\nx\r\ny"_s;
        QTest::newRow("table cells by tab") << QByteArray("<table><tr><td>a</td><td>b</td></tr><tr><th>c</th>"
                                                          "<td>d</td></tr></table>")
                                            << u"a\tb\r\nc\td"_s;
        QTest::newRow("br between blocks") << QByteArray("a<br><br>b") << u"a\r\n\r\nb"_s;
        QTest::newRow("leading and trailing breaks trimmed") << QByteArray("<br><div></div><p>a</p><br><br>") << u"a"_s;
        QTest::newRow("hr") << QByteArray("a<hr>b") << u"a\r\nb"_s;
        QTest::newRow("pre inside a div") << QByteArray("x<pre>\n a\n b</pre>y") << u"x\r\n a\r\n b\r\ny"_s;
        QTest::newRow("blank before a block dropped") << QByteArray("a <div> b</div>") << u"a\r\nb"_s;
    }

    void testRenderedTextOfBlocks()
    {
        QFETCH(QByteArray, inner);
        QFETCH(QString, text);
        const QByteArray html = "<html><body><div id=\"whoisRecordContainer\">" + inner + "</div></body></html>";
        QCOMPARE(extractRecordText(html, {}, RecordElement::ById, "whoisRecordContainer"), text);
    }

    void testMissingElementGivesEmptyText()
    {
        QCOMPARE(pre("<html><body><div>country: DE</div></body></html>"), QString());
        QCOMPARE(extractRecordText("<div id=\"other\">x</div>", {}, RecordElement::ById, "whoisRecordContainer"),
                 QString());
        QCOMPARE(pre(QByteArray()), QString());
        QCOMPARE(pre("\x00\x01\x02 not html at all", "text/html"), QString());
    }

    void testFirstElementWithTheIdWins()
    {
        const QByteArray html = "<div id=\"whoisRecordContainer\">one</div><div id=\"whoisRecordContainer\">two</div>";
        QCOMPARE(extractRecordText(html, {}, RecordElement::ById, "whoisRecordContainer"), u"one"_s);
    }

    void testCharset_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("text");
        const QByteArray latin1Body = "<pre>M\xfcnchen</pre>";
        const QByteArray utf8Body = "<pre>M\xc3\xbcnchen</pre>";
        QTest::newRow("header") << latin1Body << QByteArray("text/html; charset=ISO-8859-1") << u"München"_s;
        QTest::newRow("meta charset") << "<head><meta charset=\"iso-8859-1\"></head>" + latin1Body << QByteArray()
                                      << u"München"_s;
        QTest::newRow("meta http-equiv")
            << QByteArray("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"></head>"
                          "<pre>\x80</pre>")
            << QByteArray("text/html") << u"€"_s;
        QTest::newRow("header beats meta") << "<head><meta charset=\"iso-8859-1\"></head>" + utf8Body
                                           << QByteArray("text/html;charset=\"utf-8\"") << u"München"_s;
        QTest::newRow("UTF-8 otherwise") << utf8Body << QByteArray("text/html") << u"München"_s;
        QTest::newRow("unknown charset is UTF-8")
            << utf8Body << QByteArray("text/html; charset=x-nonsense") << u"München"_s;
    }

    void testCharset()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, text);
        QCOMPARE(pre("<html>" + html + "</html>", contentType), text);
    }

    void testDeepNestingCompletesWithTheText()
    {
        constexpr int Depth = 100'000;
        QByteArray html = "<html><body><pre>";
        html.reserve(Depth * 14 + 100);
        for (int i = 0; i < Depth; ++i)
            html += i % 2 ? "<span>" : "<b>";
        html += "country: DE";
        for (int i = Depth - 1; i >= 0; --i)
            html += i % 2 ? "</span>" : "</b>";
        html += "\nnext</pre></body></html>";
        QCOMPARE(pre(html), u"country: DE\r\nnext"_s);
    }

    void testCountryLineRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        const QString record = u"% comment\r\ninetnum: 192.0.2.0 - 192.0.2.255\r\ncountry:        DE\r\ncountry: FR"_s;
        QTest::newRow("first line on the first site, every line on the second")
            << record << QStringList{u"DE"_s} << QStringList{u"DE"_s, u"FR"_s};
        QTest::newRow("comment lines skipped")
            << u"% country: XX\r\n#country: XX\r\n #country: YY"_s << QStringList{u"YY"_s} << QStringList{u"YY"_s};
        QTest::newRow("any case and prefix")
            << u"Registrant Country: US\r\nCOUNTRY:CA"_s << QStringList{u"US"_s} << QStringList{u"US"_s, u"CA"_s};
        QTest::newRow("country code is not a country line") << u"Country Code: DE"_s << QStringList{} << QStringList{};
        QTest::newRow("further colons kept") << u"country: a:b"_s << QStringList{u"a:b"_s} << QStringList{u"a:b"_s};
        QTest::newRow("empty code accepted") << u"country:"_s << QStringList{QString()} << QStringList{QString()};
        QTest::newRow("only blanks trimmed")
            << u"country: \t DE\t "_s << QStringList{u"\t DE\t"_s} << QStringList{u"\t DE\t"_s};
        QTest::newRow("lower case kept, length free")
            << u"country: deu"_s << QStringList{u"deu"_s} << QStringList{u"deu"_s};
        QTest::newRow("LF alone is one line") << u"x\ncountry: DE\ncountry: FR"_s << QStringList{u"DE\ncountry: FR"_s}
                                              << QStringList{u"DE\ncountry: FR"_s};
        QTest::newRow("empty text") << QString() << QStringList{} << QStringList{};
        QTest::newRow("empty lines between")
            << u"\r\n\r\ncountry: NL\r\n"_s << QStringList{u"NL"_s} << QStringList{u"NL"_s};
    }

    void testCountryLineRule()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QCOMPARE(scan(firstWhoisSite(), text, LineRule::CountryLine), first);
        QCOMPARE(scan(secondWhoisSite(), text, LineRule::CountryLine), second);
    }

    void testRegistrantRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("code after the marker")
            << u"Registrant:\r\nSome Street\r\n  US  \r\nDE"_s << QStringList{u"US"_s} << QStringList{u"US"_s};
        QTest::newRow("lower-case marker only on the second site")
            << u"registrant:\r\nUS"_s << QStringList{} << QStringList{u"US"_s};
        QTest::newRow("code before the marker ignored")
            << u"DE\r\nRegistrant:\r\nFR"_s << QStringList{u"FR"_s} << QStringList{u"FR"_s};
        QTest::newRow("marker without colon only on the second site")
            << u"REGISTRANT NAME\r\nJohn\r\nGB"_s << QStringList{} << QStringList{u"GB"_s};
        QTest::newRow("marker line is never the code")
            << u"Registrant Country: US\r\nCity: X\r\nNZ"_s << QStringList{} << QStringList{u"NZ"_s};
        QTest::newRow("first site: marker with colon")
            << u"Registrant: US\r\nCA"_s << QStringList{u"CA"_s} << QStringList{u"CA"_s};
        QTest::newRow("one code only") << u"Registrant:\r\nAU\r\nNZ"_s << QStringList{u"AU"_s} << QStringList{u"AU"_s};
        QTest::newRow("blank line is not empty")
            << u"Registrant:\r\n  \r\n#x\r\n%y\r\nIT"_s << QStringList{u"IT"_s} << QStringList{u"IT"_s};
        QTest::newRow("comment marker line skipped") << u"# Registrant:\r\nUS"_s << QStringList{} << QStringList{};
        QTest::newRow("tab counts in length")
            << u"Registrant:\r\n\tUS\r\nDE"_s << QStringList{u"DE"_s} << QStringList{u"DE"_s};
    }

    void testRegistrantRule()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QCOMPARE(scan(firstWhoisSite(), text, LineRule::Registrant), first);
        QCOMPARE(scan(secondWhoisSite(), text, LineRule::Registrant), second);
    }

    void testEachCodeIsAppliedBeforeTheNextLine()
    {
        QStringList events;
        QString text = u"country: DE\r\nafter"_s;
        ScanWhoisText(secondWhoisSite(), text, LineRule::CountryLine, [&](const QString& code) {
            events.append(code);
            text.clear(); // the scan works on its own view of the text it was given
        });
        QCOMPARE(events, QStringList{u"DE"_s});
    }
};

QTEST_GUILESS_MAIN(TestLookupText)
#include "tst_LookupText.moc"
