#include "lookup/EntryLookup.h"

#include "core/Failure.h"
#include "lookup/CountryDatabase.h"
#include "lookup/PageAddress.h"
#include "lookup/RecordText.h"

#include <QtConcurrent/QtConcurrentRun>

namespace lookup {

namespace {

const WhoisSite& siteAt(int index)
{
    return index == 0 ? firstWhoisSite() : secondWhoisSite();
}

} // namespace

EntryLookup::EntryLookup(PageLoader& loader, const QString& databasePath, const QString& entry, QObject* parent)
    : QObject(parent), m_loader(loader), m_databasePath(databasePath), m_entry(entry)
{
    connect(&m_recordText, &QFutureWatcherBase::finished, this, &EntryLookup::onRecordText);
}

EntryLookup::~EntryLookup() = default;

void EntryLookup::start()
{
    m_cleaned = cleanEntry(m_entry);
    m_result.entry = m_cleaned.normalised;
    m_result.status = StatusRetrieving;
    askSite(0);
}

void EntryLookup::askSite(int index)
{
    m_site = index;
    m_request = m_loader.load(pageAddress(siteAt(index), m_cleaned.normalised));
    connect(m_request.get(), &PageRequest::completed, this, &EntryLookup::onPage);
}

void EntryLookup::onPage()
{
    const WhoisSite* site = &siteAt(m_site);
    Page page = m_request->page();
    m_request.release()->deleteLater(); // we are inside its signal
    m_recordText.setFuture(QtConcurrent::run([site, page = std::move(page)] { return recordText(*site, page); }));
}

void EntryLookup::onRecordText()
{
    const WhoisSite& site = siteAt(m_site);
    const QString text = m_recordText.result();
    ScanWhoisText(site, text, lineRuleFor(m_cleaned.wwwEntry), [this](const QString& code) {
        CountryNames names;
        try {
            names = LookupCountry(m_databasePath, code);
        } catch (const core::Failure& failure) {
            m_result.failures.append(failure.description());
        }
        m_result.country = names.country;
        m_result.code = code;
        m_result.continent = names.continent;
        m_found = true;
    });
    if (!m_found && m_site == 0) {
        askSite(1);
        return;
    }
    finish();
}

void EntryLookup::finish()
{
    m_result.status = m_found ? StatusCompleted : StatusFailed;
    m_finished = true;
    emit finished();
}

} // namespace lookup
