#include "core/EventPump.h"
#include "lookup/CountryDatabase.h"
#include "lookup/EntryCleaning.h"
#include "lookup/Status.h"
#include "lookup/PageAddress.h"
#include "lookup/PageLoader.h"
#include "lookup/RecordText.h"
#include "lookup/WhoisScan.h"
#include "shell/MainWindow.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

constexpr int StatusColumn = 1;
constexpr int CountryColumn = 2;
constexpr int CodeColumn = 3;
constexpr int ContinentColumn = 4;

// Longest single sleep of the page wait; any event (the page, a click) ends it sooner.
constexpr int PageWaitSliceMs = 50;

// The second site's steps carry the first site's numbers plus this.
constexpr int SecondSiteLines = 90;

// The working values of the entry being looked up and the numbered steps that use them. A row is
// written by its id only, so a row removed or cleared mid-run is never written again, and names
// come fresh from each database lookup, so a failed one leaves them empty.
class LookupRun
{
public:
    LookupRun(ErrorTrap& trap, core::ResultsModel& results, lookup::PageLoader& loader, const QString& databasePath,
              lookup::RunStats& stats)
        : m_trap(trap), m_results(results), m_loader(loader), m_databasePath(databasePath), m_stats(stats)
    {
    }

    QString text;
    bool wwwEntry = false;
    bool haveRow = false;
    core::ResultsModel::RowId row = 0;
    QString record;
    bool found = false;

    void write(int line, int column, const QString& value)
    {
        lookup::StageTimer timer(m_stats.tableNs);
        m_trap.run(line, [&] {
            if (haveRow)
                m_results.setCellById(row, column, value);
        });
    }

    // GetWhoisText and ScanWhoisText for one site.
    void askSite(const lookup::WhoisSite& site, int lines)
    {
        std::unique_ptr<lookup::PageRequest> request;
        {
            lookup::StageTimer timer(m_stats.fetchNs);
            m_trap.run(136 + lines, [&] { request = m_loader.load(lookup::pageAddress(site, text)); });
            m_trap.run(138 + lines, [&] {
                while (request && !request->isComplete())
                    core::EventPump::waitForEvents(PageWaitSliceMs);
            });
        }
        {
            lookup::StageTimer timer(m_stats.parseNs);
            m_trap.run(142 + lines, [&] {
                if (request && request->isComplete())
                    record = lookup::recordText(site, request->page());
            });
            request.reset();
        }
        const lookup::LineRule rule = lookup::lineRuleFor(wwwEntry);
        const int applyLine = (rule == lookup::LineRule::Registrant ? 172 : 210) + lines;
        m_trap.run(146 + lines, [&] {
            const qint64 nestedBefore = m_stats.databaseNs + m_stats.tableNs;
            lookup::StageTimer timer(m_stats.scanNs);
            lookup::ScanWhoisText(site, record, rule, [&](const QString& code) { ApplyCountryCode(code, applyLine); });
            m_stats.scanNs -= m_stats.databaseNs + m_stats.tableNs - nestedBefore;
        });
    }

private:
    void ApplyCountryCode(const QString& code, int line)
    {
        lookup::CountryNames names;
        {
            lookup::StageTimer timer(m_stats.databaseNs);
            m_trap.run(line, [&] { names = lookup::LookupCountry(m_databasePath, code); });
        }
        write(line + 2, CountryColumn, names.country);
        write(line + 4, CodeColumn, code);
        write(line + 6, ContinentColumn, names.continent);
        m_trap.run(line + 8, [&] { found = true; });
    }

    ErrorTrap& m_trap;
    core::ResultsModel& m_results;
    lookup::PageLoader& m_loader;
    QString m_databasePath;
    lookup::RunStats& m_stats;
};

} // namespace

void MainWindow::connectLookupHandlers()
{
    connectClick("PushButton4", &MainWindow::PushButton4_Click);
}

void MainWindow::PushButton4_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton4_Click"_s);
    if (trap.test(100, [&] { return m_lookupRunning; }))
        return;
    trap.run(102, [&] { m_lookupRunning = true; });
    m_lookupStats.reset();

    if (trap.test(104, [&] { return m_addressList.count() == 0; })) {
        trap.run(324, [&] {
            m_dialogs.message(u"No URL(s) added."_s, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
        });
        trap.run(326, [&] { m_lookupRunning = false; });
        return;
    }

    trap.run(106, [&] {
        lookup::StageTimer timer(m_lookupStats.tableNs);
        m_results.clear();
    });
    int count = 0;
    trap.run(108, [&] { count = m_addressList.count(); });

    lookup::PageLoader loader; // one for the whole run
    LookupRun run(trap, m_results, loader, m_appFolder + u"/dbCountries.mdb"_s, m_lookupStats);
    BusyHold busy(*this);
    for (int i = 0; i < count; ++i) {
        trap.run(110, [&] { busy.set(); });
        // Entries removed mid-run: a position past the end ends the run, it never re-reads an old text.
        bool present = false;
        trap.run(112, [&] {
            present = i < m_addressList.count();
            if (present)
                run.text = m_addressList.entry(i);
        });
        if (!present)
            break;
        trap.run(114, [&] { run.text = lookup::removeSchemes(run.text); });
        if (trap.test(116, [&] { return run.text.endsWith(u'/'); }))
            trap.run(118, [&] { run.text.chop(1); });
        trap.run(120, [&] { run.wwwEntry = false; });
        if (trap.test(122, [&] { return lookup::hasWwwPrefix(run.text); })) {
            trap.run(124, [&] { run.text.remove(0, 4); });
            trap.run(126, [&] { run.wwwEntry = true; });
        }
        run.haveRow = false;
        trap.run(128, [&] {
            lookup::StageTimer timer(m_lookupStats.tableNs);
            run.row = m_results.appendRow(run.text);
            run.haveRow = true;
        });
        trap.run(130, [&] { run.record.clear(); });
        trap.run(132, [&] { run.found = false; });
        run.write(134, StatusColumn, lookup::StatusRetrieving);

        run.askSite(lookup::firstWhoisSite(), 0);
        if (trap.test(222, [&] { return !run.found; })) {
            trap.run(224, [&] { run.record.clear(); });
            run.askSite(lookup::secondWhoisSite(), SecondSiteLines);
        }
        if (trap.test(312, [&] { return run.found; }))
            run.write(316, StatusColumn, lookup::StatusCompleted);
        else
            run.write(314, StatusColumn, lookup::StatusFailed);
        ++m_lookupStats.entries;
    }

    trap.run(320, [&] { busy.clear(); });
    trap.run(322, [&] { m_dialogs.message(u"Done."_s, m_applicationTitle, MessageButtons::Ok, MessageIcon::None); });
    trap.run(326, [&] { m_lookupRunning = false; });
}

} // namespace shell
