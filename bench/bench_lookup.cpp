// The lookup run through the real handler on an offscreen window against the fake WHOIS server on
// loopback, and record-text extraction beside libxml2's bare parse of the same page.
#include "Bench.h"

#include "lookup/RecordText.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/FakeWhoisServer.h"
#include "support/WindowOnAppFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <libxml/HTMLparser.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Entries = 2000;
constexpr int PageBytes = 60 * 1024;

QString record()
{
    QString text = u"% Abuse contact for '10.0.0.0 - 10.255.255.255' is 'abuse@example.net'\n\n"_s;
    for (int i = 0; i < 30; ++i)
        text += u"remarks:        line %1 of the registry's remarks about this network\n"_s.arg(i);
    text += u"inetnum:        10.0.0.0 - 10.255.255.255\nnetname:        EXAMPLE\ncountry:        DE\n"_s;
    return text;
}

QByteArray pageOf(int bytes)
{
    const QByteArray bare = FakeWhoisServer::firstSitePage(record(), 0);
    return FakeWhoisServer::firstSitePage(record(), std::max(0, bytes - int(bare.size())));
}

void runWindow()
{
    FakeWhoisServer server;
    server.becomeProxy();
    const QByteArray page = pageOf(PageBytes);
    server.setHostDefault(u"www.whois.com"_s, FakeWhoisServer::page(page));

    WindowOnAppFolder tellurion;
    shell::MainWindow& window = tellurion.window;
    QStringList entries;
    for (int i = 0; i < Entries; ++i)
        entries.append(u"10.%1.%2.7"_s.arg(i / 250).arg(i % 250));
    window.addressList().append(entries);

    QElapsedTimer wall;
    wall.start();
    window.findChild<QPushButton*>(u"PushButton4"_s)->click();
    const double seconds = wall.nsecsElapsed() / 1e9;

    const lookup::RunStats& s = window.lookupStats();
    int completed = 0;
    for (int r = 0; r < window.results().rowCount(); ++r)
        completed += window.results().cell(r, 1) == u"Completed"_s;
    const double total = wall.nsecsElapsed();
    const double other = total - double(s.totalNs());
    benchFigure("lookup_run_page_kb", page.size() / 1024.0, "KB");
    benchFigure("lookup_run_entries_completed", completed, "entries");
    benchFigure("lookup_run_entries_per_s", s.entries / seconds, "entries/s");
    benchFigure("lookup_run_share_fetch", 100.0 * s.fetchNs / total, "%");
    benchFigure("lookup_run_share_parse_text", 100.0 * s.parseNs / total, "%");
    benchFigure("lookup_run_share_scan", 100.0 * s.scanNs / total, "%");
    benchFigure("lookup_run_share_database", 100.0 * s.databaseNs / total, "%");
    benchFigure("lookup_run_share_table", 100.0 * s.tableNs / total, "%");
    benchFigure("lookup_run_share_other", 100.0 * other / total, "%");
    benchFigure("lookup_run_share_outside_fetch_parse", 100.0 * (total - s.fetchNs - s.parseNs) / total, "%");
}

void runExtraction()
{
    const QByteArray page = pageOf(PageBytes);
    const QByteArray contentType = "text/html; charset=utf-8";
    constexpr int Rounds = 400;
    int sink = 0;

    // Interleaved, so that both see the same machine load and cache state.
    qint64 extractNs = 0;
    qint64 parseNs = 0;
    QElapsedTimer timer;
    for (int i = 0; i < Rounds; ++i) {
        timer.start();
        sink += int(lookup::extractRecordText(page, contentType, lookup::RecordElement::FirstByTag, "pre").size());
        extractNs += timer.nsecsElapsed();
        timer.start();
        htmlDocPtr doc = htmlReadMemory(page.constData(), int(page.size()), nullptr, "utf-8",
                                        HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                            HTML_PARSE_NOWARNING | XML_PARSE_HUGE | HTML_PARSE_IGNORE_ENC);
        sink += doc != nullptr;
        xmlFreeDoc(doc);
        parseNs += timer.nsecsElapsed();
    }
    const double extractS = extractNs / 1e9;
    const double parseS = parseNs / 1e9;

    const double mb = double(page.size()) * Rounds / (1024.0 * 1024.0);
    benchFigure("record_text_extraction", mb / extractS, "MB/s");
    benchFigure("record_text_bare_parse", mb / parseS, "MB/s");
    benchFigure("record_text_extraction_vs_parse", parseS / extractS, "ratio");
    if (sink == 0)
        std::printf("(no text)\n");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    runExtraction();
    runWindow();
    return 0;
}
