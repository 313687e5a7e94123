#include "lookup/PageLoader.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace lookup {

const QByteArray PageLoader::UserAgent = "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0";

PageRequest::PageRequest(PageLoader& loader, const QUrl& address)
    : m_loader(&loader), m_hostKey(address.host().toLower())
{
    m_page.address = address;
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { fail(u"No page within %1 s"_s.arg(m_deadline.interval() / 1000.0)); });
    m_resendPause.setSingleShot(true);
    connect(&m_resendPause, &QTimer::timeout, this, &PageRequest::transmit);
}

PageRequest::~PageRequest()
{
    dropReply();
    if (m_loader) {
        m_loader->release(this);
        m_loader->m_requests.remove(this);
    }
}

void PageRequest::send()
{
    m_started = true;
    // The bound holds for the page as a whole, resends included.
    m_deadline.start(m_loader->m_timeoutMs);
    transmit();
}

void PageRequest::transmit()
{
    if (!m_loader || m_complete)
        return;
    ++m_sends;
    m_responseBegan = false;
    QNetworkRequest request(m_page.address);
    request.setHeader(QNetworkRequest::UserAgentHeader, PageLoader::UserAgent);
    request.setRawHeader("Accept", "text/html,application/xhtml+xml;q=0.9,*/*;q=0.8");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(PageLoader::MaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_network = m_loader->takeNetwork();
    m_reply = m_loader->m_networks[size_t(m_network)].manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &PageRequest::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &PageRequest::onFinished);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        // Qt announces meta data also for a request that ended before any answer; a status line is a byte of one.
        if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            m_responseBegan = true;
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > PageLoader::MaxBodyBytes)
            fail(u"Page larger than %1 bytes"_s.arg(PageLoader::MaxBodyBytes));
    });
    // Each step of a redirect chain is a request of its own; only its own answer counts.
    connect(m_reply, &QNetworkReply::redirected, this, [this] { m_responseBegan = false; });
}

void PageRequest::onReadyRead()
{
    if (!m_reply)
        return;
    if (m_reply->bytesAvailable() > 0)
        m_responseBegan = true;
    if (m_page.body.size() + m_reply->bytesAvailable() > PageLoader::MaxBodyBytes) {
        fail(u"Page larger than %1 bytes"_s.arg(PageLoader::MaxBodyBytes));
        return;
    }
    m_page.body += m_reply->readAll();
}

bool PageRequest::mayResend(int error) const
{
    if (m_responseBegan || m_sends > PageLoader::MaxResends || !m_loader)
        return false;
    switch (QNetworkReply::NetworkError(error)) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return true;
    default:
        return false;
    }
}

void PageRequest::onFinished()
{
    if (!m_reply)
        return;
    onReadyRead();
    if (!m_reply)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = m_reply->error();
    m_page.httpStatus = status.toInt();
    m_page.contentType = m_reply->rawHeader("Content-Type");
    // An HTTP error status still brings a page, shown as a browser would show it; errors below the
    // content range (connection, proxy, redirects, aborts) bring none.
    m_page.loaded =
        error == QNetworkReply::NoError || (status.isValid() && error >= QNetworkReply::ContentAccessDenied);
    if (!m_page.loaded) {
        m_page.error = m_reply->errorString();
        m_page.body.clear();
        if (mayResend(error)) {
            dropReply();
            m_resendPause.start(int(
                QRandomGenerator::global()->bounded(PageLoader::ResendPauseMinMs, PageLoader::ResendPauseMaxMs + 1)));
            return;
        }
    }
    dropReply();
    complete();
}

void PageRequest::dropReply()
{
    if (m_reply) {
        m_reply->disconnect(this);
        if (m_reply->isRunning())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_network >= 0 && m_loader)
        m_loader->releaseNetwork(m_network);
    m_network = -1;
}

void PageRequest::fail(const QString& error)
{
    if (m_complete)
        return;
    dropReply();
    m_page.loaded = false;
    m_page.body.clear();
    m_page.error = error;
    complete();
}

void PageRequest::complete()
{
    if (m_complete)
        return;
    m_complete = true;
    m_deadline.stop();
    m_resendPause.stop();
    if (m_loader)
        m_loader->release(this);
    // Queued, so that a request completed inside load() still reaches a caller that connects after it.
    QMetaObject::invokeMethod(this, &PageRequest::completed, Qt::QueuedConnection);
}

PageLoader::PageLoader(QObject* parent) : QObject(parent)
{
    // The standard proxy variables (http_proxy, https_proxy, no_proxy) decide how pages are reached.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

void PageLoader::setMaxInFlightPerHost(int limit)
{
    m_maxPerHost = limit;
}

int PageLoader::takeNetwork()
{
    for (size_t i = 0; i < m_networks.size(); ++i)
        if (m_networks[i].carrying < ConnectionsPerManager) {
            ++m_networks[i].carrying;
            return int(i);
        }
    Network network{std::make_unique<QNetworkAccessManager>(), 1};
    network.manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_networks.push_back(std::move(network));
    return int(m_networks.size() - 1);
}

void PageLoader::releaseNetwork(int index)
{
    if (index >= 0 && size_t(index) < m_networks.size() && m_networks[size_t(index)].carrying > 0)
        --m_networks[size_t(index)].carrying;
}

PageLoader::~PageLoader()
{
    // Requests that outlive the loader end unloaded and must not reach back into it; their replies
    // go with the network manager.
    const QSet<PageRequest*> requests = m_requests;
    for (PageRequest* request : requests) {
        request->m_loader = nullptr;
        request->fail(u"The page loader was closed"_s);
    }
}

std::unique_ptr<PageRequest> PageLoader::load(const QUrl& address)
{
    std::unique_ptr<PageRequest> request(new PageRequest(*this, address));
    m_requests.insert(request.get());
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || address.host().isEmpty() || (scheme != u"http"_s && scheme != u"https"_s)) {
        request->fail(u"Invalid page address"_s);
        return request;
    }
    if (address.path(QUrl::FullyEncoded).size() > MaxAddressBytes) {
        request->fail(u"The page address is too long"_s);
        return request;
    }
    enqueue(request.get());
    return request;
}

int PageLoader::inFlight() const
{
    int total = 0;
    for (int n : m_running)
        total += n;
    return total;
}

void PageLoader::enqueue(PageRequest* request)
{
    int& running = m_running[request->m_hostKey];
    if (m_maxPerHost > 0 && running >= m_maxPerHost) {
        m_waiting[request->m_hostKey].push_back(request);
        return;
    }
    ++running;
    request->send();
}

void PageLoader::release(PageRequest* request)
{
    const QString key = request->m_hostKey;
    auto waiting = m_waiting.find(key);
    if (waiting != m_waiting.end()) {
        auto& queue = waiting.value();
        const auto it = std::find(queue.begin(), queue.end(), request);
        if (it != queue.end()) {
            queue.erase(it);
            return;
        }
    }
    if (!request->m_started)
        return;
    request->m_started = false; // counted once, whether it completed or was dropped
    auto running = m_running.find(key);
    if (running != m_running.end() && running.value() > 0)
        --running.value();
    startWaiting(key);
}

void PageLoader::startWaiting(const QString& hostKey)
{
    auto waiting = m_waiting.find(hostKey);
    if (waiting == m_waiting.end())
        return;
    while (!waiting.value().empty() && (m_maxPerHost <= 0 || m_running[hostKey] < m_maxPerHost)) {
        PageRequest* next = waiting.value().front();
        waiting.value().pop_front();
        ++m_running[hostKey];
        next->send();
    }
}

} // namespace lookup
