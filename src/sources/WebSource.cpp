#include "sources/WebSource.h"

#include "lookup/PageAddress.h"
#include "lookup/PageLoader.h"
#include "lookup/RecordText.h"
#include "lookup/WhoisScan.h"
#include "lookup/WhoisSite.h"
#include "sources/Coverage.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace sources {

struct WebSource::Watch
{
    std::function<void(const QString&)> notice;
    int withoutRecord[2] = {0, 0};
    bool said[2] = {false, false};

    // Counts the loaded pages in a row that have no record element; pages that did not load say
    // nothing about what the site answers.
    void see(int site, const lookup::Page& page, const lookup::RecordPage& read)
    {
        if (!page.loaded)
            return;
        if (read.hasRecordElement) {
            withoutRecord[site] = 0;
            return;
        }
        if (++withoutRecord[site] < BlockPageRun || said[site])
            return;
        said[site] = true;
        if (notice)
            notice(u"%1 answered %2 pages in a row without its WHOIS record (page title: \"%3\"); it may be "
                   u"blocking these lookups"_s.arg(page.address.host())
                       .arg(withoutRecord[site])
                       .arg(read.title));
    }
};

namespace {

const lookup::WhoisSite& siteAt(int index)
{
    return index == 0 ? lookup::firstWhoisSite() : lookup::secondWhoisSite();
}

class WebRequest : public SourceRequest
{
public:
    WebRequest(lookup::PageLoader& loader, std::shared_ptr<WebSource::Watch> watch, const Query& query)
        : m_loader(loader), m_watch(std::move(watch)), m_query(query)
    {
        connect(&m_recordText, &QFutureWatcherBase::finished, this, &WebRequest::onRecordText);
        askSite(0);
    }

private:
    void askSite(int index)
    {
        m_site = index;
        m_request = m_loader.load(lookup::pageAddress(siteAt(index), m_query.cleaned.normalised));
        connect(m_request.get(), &lookup::PageRequest::completed, this, &WebRequest::onPage);
    }

    void onPage()
    {
        const lookup::WhoisSite* site = &siteAt(m_site);
        m_page = m_request->page();
        m_request.release()->deleteLater(); // we are inside its signal
        if (!m_page.loaded && !m_page.error.isEmpty())
            m_answer.notes.append(u"%1: %2"_s.arg(site->host, m_page.error));
        if (m_page.loaded && (m_page.httpStatus == 429 || m_page.httpStatus == 503))
            m_answer.notes.append(u"%1: still asked to slow down (HTTP %2)"_s.arg(site->host).arg(m_page.httpStatus));
        // The record text is taken out on the thread pool, so that many lookups at once use every core.
        m_recordText.setFuture(
            QtConcurrent::run([site, page = m_page] { return lookup::readRecordPage(*site, page); }));
    }

    void onRecordText()
    {
        const lookup::WhoisSite& site = siteAt(m_site);
        const lookup::RecordPage read = m_recordText.result();
        m_watch->see(m_site, m_page, read);
        m_page = {};
        // Every accepted code replaces the one before, as in the window's run.
        lookup::ScanWhoisText(site, read.text, lookup::lineRuleFor(m_query.cleaned.wwwEntry),
                              [this](const QString& code) {
                                  m_answer.found = true;
                                  m_answer.code = code;
                                  m_answer.source = m_site == 0 ? u"site1"_s : u"site2"_s;
                              });
        if (m_answer.found)
            m_answer.network = coveredNetwork(m_query.cleaned.normalised, read.text);
        if (!m_answer.found && m_site == 0) {
            askSite(1);
            return;
        }
        finish(std::move(m_answer));
    }

    lookup::PageLoader& m_loader;
    std::shared_ptr<WebSource::Watch> m_watch;
    Query m_query;
    int m_site = 0;
    std::unique_ptr<lookup::PageRequest> m_request;
    lookup::Page m_page; // while its record text is read
    QFutureWatcher<lookup::RecordPage> m_recordText;
    Answer m_answer;
};

} // namespace

WebSource::WebSource(lookup::PageLoader& loader) : m_loader(loader), m_watch(std::make_shared<Watch>()) {}

WebSource::~WebSource() = default;

void WebSource::setNotice(std::function<void(const QString&)> notice)
{
    m_watch->notice = std::move(notice);
}

QString WebSource::name() const
{
    return u"web"_s;
}

std::unique_ptr<SourceRequest> WebSource::ask(const Query& query)
{
    return std::make_unique<WebRequest>(m_loader, m_watch, query);
}

} // namespace sources
