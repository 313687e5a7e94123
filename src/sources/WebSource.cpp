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

namespace {

const lookup::WhoisSite& siteAt(int index)
{
    return index == 0 ? lookup::firstWhoisSite() : lookup::secondWhoisSite();
}

class WebRequest : public SourceRequest
{
public:
    WebRequest(lookup::PageLoader& loader, const Query& query) : m_loader(loader), m_query(query)
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
        lookup::Page page = m_request->page();
        m_request.release()->deleteLater(); // we are inside its signal
        if (!page.loaded && !page.error.isEmpty())
            m_answer.notes.append(u"%1: %2"_s.arg(site->host, page.error));
        // The record text is taken out on the thread pool, so that many lookups at once use every core.
        m_recordText.setFuture(
            QtConcurrent::run([site, page = std::move(page)] { return lookup::recordText(*site, page); }));
    }

    void onRecordText()
    {
        const lookup::WhoisSite& site = siteAt(m_site);
        // Every accepted code replaces the one before, as in the window's run.
        lookup::ScanWhoisText(site, m_recordText.result(), lookup::lineRuleFor(m_query.cleaned.wwwEntry),
                              [this](const QString& code) {
                                  m_answer.found = true;
                                  m_answer.code = code;
                                  m_answer.source = m_site == 0 ? u"site1"_s : u"site2"_s;
                              });
        if (m_answer.found)
            m_answer.network = coveredNetwork(m_query.cleaned.normalised, m_recordText.result());
        if (!m_answer.found && m_site == 0) {
            askSite(1);
            return;
        }
        finish(std::move(m_answer));
    }

    lookup::PageLoader& m_loader;
    Query m_query;
    int m_site = 0;
    std::unique_ptr<lookup::PageRequest> m_request;
    QFutureWatcher<QString> m_recordText;
    Answer m_answer;
};

} // namespace

WebSource::WebSource(lookup::PageLoader& loader) : m_loader(loader) {}

QString WebSource::name() const
{
    return u"web"_s;
}

std::unique_ptr<SourceRequest> WebSource::ask(const Query& query)
{
    return std::make_unique<WebRequest>(m_loader, query);
}

} // namespace sources
