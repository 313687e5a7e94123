#include "lookup/PageLoader.h"

#include <QLocale>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace lookup {

namespace {

const QByteArray BrowserAccept = "text/html,application/xhtml+xml;q=0.9,*/*;q=0.8";

bool isSlowDown(int status)
{
    return status == 429 || status == 503;
}

// The three forms of an HTTP date (RFC 9110 5.6.7), always in GMT.
QDateTime httpDate(const QByteArray& value)
{
    const QString text = QString::fromLatin1(value).simplified();
    const QLocale c = QLocale::c();
    for (const QString& format :
         {u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s, u"dddd, dd-MMM-yy hh:mm:ss 'GMT'"_s, u"ddd MMM d hh:mm:ss yyyy"_s}) {
        QDateTime date = c.toDateTime(text, format);
        if (!date.isValid())
            continue;
        if (date.date().year() < 1970) // a two-digit year of the obsolete form
            date = date.addYears(100);
        date.setTimeSpec(Qt::UTC);
        return date;
    }
    return {};
}

} // namespace

const QByteArray PageLoader::UserAgent = "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0";

PageRequest::PageRequest(PageLoader& loader, const QUrl& address, const LoadOptions& options)
    : m_loader(&loader), m_hostKey(address.host().toLower()), m_options(options)
{
    m_page.address = address;
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { fail(u"No page within %1 s"_s.arg(m_deadline.interval() / 1000.0)); });
    m_resendPause.setSingleShot(true);
    connect(&m_resendPause, &QTimer::timeout, this, [this] {
        if (!m_loader)
            return;
        m_step = Step::Resend;
        m_loader->queueStep(this, m_at.host().toLower());
    });
}

PageRequest::~PageRequest()
{
    dropReply();
    if (m_loader) {
        m_loader->release(this);
        m_loader->m_requests.remove(this);
    }
}

void PageRequest::go(std::shared_ptr<qint64> token)
{
    if (!m_loader || m_complete)
        return;
    m_token = std::move(token);
    switch (m_step) {
    case Step::First:
    case Step::AskAgain:
        // The bound holds for each ask as a whole, resends and redirects included.
        m_at = m_page.address;
        m_redirects = 0;
        m_deadline.start(m_loader->m_timeoutMs);
        break;
    case Step::Redirect:
        m_page.body.clear(); // the redirect's own page
        break;
    case Step::Resend:
        break;
    }
    if (m_step != Step::Resend)
        m_sends = 0;
    transmit();
}

// The answer (or the end) of the request came back: the host had it by now.
void PageRequest::settleToken()
{
    if (!m_token)
        return;
    if (m_loader) {
        *m_token = std::min(*m_token, m_loader->m_clock.elapsed());
        // The budget may allow the next request sooner than the loader last reckoned.
        m_loader->wakeIn(0);
    }
    m_token.reset();
}

void PageRequest::transmit()
{
    ++m_sends;
    m_responseBegan = false;
    QNetworkRequest request(m_at);
    request.setHeader(QNetworkRequest::UserAgentHeader, PageLoader::UserAgent);
    request.setRawHeader("Accept", m_options.accept.isEmpty() ? BrowserAccept : m_options.accept);
    // Each step of a redirect chain is a request of the loader's own, so that the budget counts it and a
    // step that fails before its answer is sent again by itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
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
}

bool PageRequest::redirected(int status)
{
    // The statuses and checks of Qt's own redirect policy that never goes from HTTPS down to HTTP.
    if (status != 301 && status != 302 && status != 303 && status != 305 && status != 307 && status != 308)
        return false;
    const QUrl location = QUrl::fromEncoded(m_reply->rawHeader("Location"));
    const QUrl target = location.isRelative() ? m_at.resolved(location) : location;
    const QString scheme = target.scheme().toLower();
    if (!location.isValid() || location.isEmpty() || (scheme != u"http"_s && scheme != u"https"_s) ||
        target.host().isEmpty())
        fail(u"Invalid redirect"_s);
    else if (m_redirects >= PageLoader::MaxRedirects)
        fail(u"Too many redirects"_s);
    else if (m_at.scheme().toLower() == u"https"_s && scheme == u"http"_s)
        fail(u"Insecure redirect"_s);
    else {
        dropReply();
        ++m_redirects;
        m_at = target;
        m_step = Step::Redirect;
        m_loader->queueStep(this, target.host().toLower());
    }
    return true;
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
    settleToken();
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
    if (m_page.loaded && m_loader && redirected(m_page.httpStatus))
        return;
    if (!m_page.loaded) {
        m_page.error = m_reply->errorString();
        m_page.body.clear();
        if (mayResend(error)) {
            dropReply();
            m_resendPause.start(int(
                QRandomGenerator::global()->bounded(PageLoader::ResendPauseMinMs, PageLoader::ResendPauseMaxMs + 1)));
            return;
        }
    } else if (slowedDown()) {
        return;
    }
    dropReply();
    complete();
}

bool PageRequest::slowedDown()
{
    if (!m_loader || !m_loader->m_pauseOnSlowDown)
        return false;
    const QString answeredBy = m_at.host().toLower();
    if (!isSlowDown(m_page.httpStatus)) {
        m_loader->answeredNormally(answeredBy);
        return false;
    }
    if (m_asksAgain >= PageLoader::MaxAsksAgain)
        return false;
    ++m_asksAgain;
    m_loader->slowDown(answeredBy, m_page.httpStatus, m_reply->rawHeader("Retry-After"));
    dropReply();
    m_deadline.stop();
    m_page.loaded = false;
    m_page.httpStatus = 0;
    m_page.contentType.clear();
    m_page.body.clear();
    m_step = Step::AskAgain;
    m_loader->queueStep(this, m_hostKey);
    return true;
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
    m_clock.start();
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        m_wakeAt = -1;
        pumpAll();
    });
}

void PageLoader::setMaxInFlightPerHost(int limit)
{
    m_maxPerHost = limit;
}

void PageLoader::setRequestRate(double perSecond)
{
    m_rate = std::isfinite(perSecond) && perSecond > 0 ? perSecond : 0;
    if (m_rate <= 0)
        return;
    // A whole number of requests in a window of the length that gives the rate: N in every second, or
    // for a rate below one, one in every 1/N seconds. A few milliseconds more, since both our clock and
    // the host's count whole milliseconds: a request sent when the window has just passed by ours may
    // otherwise still fall in it by the host's.
    constexpr int WholeMillisecondsMs = 3;
    m_budgetCount = std::max(1, int(std::floor(m_rate)));
    m_budgetWindowMs = qint64(std::ceil(m_budgetCount * 1000.0 / m_rate)) + WholeMillisecondsMs;
}

void PageLoader::setSlowDownPauses(int firstMs, int longestMs)
{
    m_firstPauseMs = std::max(1, firstMs);
    m_longestPauseMs = std::max(m_firstPauseMs, longestMs);
}

std::optional<qint64> PageLoader::retryAfterMs(const QByteArray& value, const QDateTime& now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qlonglong seconds = text.toLongLong(&ok);
        // Beyond any pause we keep; a value too long for a number is as long.
        return ok ? std::min<qint64>(seconds, qint64(1) << 40) * 1000 : qint64(1) << 50;
    }
    const QDateTime date = httpDate(text);
    if (!date.isValid())
        return std::nullopt;
    return std::max<qint64>(0, now.msecsTo(date));
}

int PageLoader::takeNetwork()
{
    for (size_t i = 0; i < m_networks.size(); ++i)
        if (m_networks[i].carrying < ConnectionsPerManager) {
            ++m_networks[i].carrying;
            return int(i);
        }
    Network network{std::make_unique<QNetworkAccessManager>(), 1};
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
    return load(address, LoadOptions{});
}

std::unique_ptr<PageRequest> PageLoader::load(const QUrl& address, const LoadOptions& options)
{
    std::unique_ptr<PageRequest> request(new PageRequest(*this, address, options));
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
    for (const auto& [key, host] : m_hosts)
        total += host.placed;
    return total;
}

void PageLoader::enqueue(PageRequest* request)
{
    m_hosts[request->m_hostKey].waiting.push_back(request);
    pump(request->m_hostKey);
}

void PageLoader::queueStep(PageRequest* request, const QString& hostKey)
{
    // A page already on its way goes before those that have not started.
    request->m_queuedFor = hostKey;
    m_hosts[hostKey].ready.push_front(request);
    pump(hostKey);
}

void PageLoader::release(PageRequest* request)
{
    const auto drop = [request](std::deque<PageRequest*>& queue) {
        const auto it = std::find(queue.begin(), queue.end(), request);
        if (it != queue.end())
            queue.erase(it);
    };
    if (!request->m_queuedFor.isEmpty()) {
        drop(m_hosts[request->m_queuedFor].ready);
        request->m_queuedFor.clear();
    }
    Host& host = m_hosts[request->m_hostKey];
    drop(host.waiting);
    if (!request->m_placed)
        return;
    request->m_placed = false; // counted once, whether it completed or was dropped
    if (host.placed > 0)
        --host.placed;
    pump(request->m_hostKey);
}

void PageLoader::pump(const QString& hostKey)
{
    Host& host = m_hosts[hostKey];
    while (!host.waiting.empty() && (m_maxPerHost <= 0 || host.placed < m_maxPerHost)) {
        PageRequest* next = host.waiting.front();
        host.waiting.pop_front();
        ++host.placed;
        next->m_placed = true;
        next->m_queuedFor = hostKey;
        host.ready.push_back(next);
    }
    while (!host.ready.empty()) {
        const qint64 now = m_clock.elapsed();
        if (host.pausedUntil > now) {
            wakeIn(host.pausedUntil - now);
            return;
        }
        std::shared_ptr<qint64> token;
        if (m_rate > 0) {
            qint64 waitMs = 0;
            token = takeBudget(host, now, waitMs);
            if (!token) {
                wakeIn(waitMs);
                return;
            }
        }
        PageRequest* next = host.ready.front();
        host.ready.pop_front();
        next->m_queuedFor.clear();
        next->go(std::move(token));
    }
}

void PageLoader::pumpAll()
{
    std::vector<QString> keys;
    for (const auto& [key, host] : m_hosts)
        if (!host.ready.empty() || !host.waiting.empty())
            keys.push_back(key);
    for (const QString& key : keys)
        pump(key);
}

std::shared_ptr<qint64> PageLoader::takeBudget(Host& host, qint64 now, qint64& waitMs) const
{
    std::erase_if(host.budget, [&](const auto& had) { return now - *had >= m_budgetWindowMs; });
    if (int(host.budget.size()) < m_budgetCount) {
        host.budget.push_back(std::make_shared<qint64>(now + TransitAllowanceMs));
        return host.budget.back();
    }
    const auto first =
        std::min_element(host.budget.begin(), host.budget.end(), [](const auto& a, const auto& b) { return *a < *b; });
    waitMs = **first + m_budgetWindowMs - now;
    return nullptr;
}

void PageLoader::wakeIn(qint64 ms)
{
    const qint64 at = m_clock.elapsed() + std::max<qint64>(1, ms);
    if (m_wakeAt >= 0 && m_wakeAt <= at && m_wake.isActive())
        return;
    m_wakeAt = at;
    m_wake.start(int(std::min<qint64>(std::max<qint64>(1, ms), std::numeric_limits<int>::max())));
}

void PageLoader::slowDown(const QString& hostKey, int status, const QByteArray& retryAfter)
{
    Host& host = m_hosts[hostKey];
    const qint64 now = m_clock.elapsed();
    // Pages that were on their way when the host asked first do not pause it again.
    if (host.pausedUntil > now)
        return;
    qint64 pauseMs = 0;
    if (const std::optional<qint64> asked = retryAfterMs(retryAfter, QDateTime::currentDateTimeUtc())) {
        pauseMs = *asked;
    } else {
        const qint64 backoff = qint64(m_firstPauseMs) << std::min(host.slowDowns, 30);
        pauseMs = backoff + qint64(QRandomGenerator::global()->bounded(double(backoff) / 4));
    }
    pauseMs = std::min<qint64>(pauseMs, m_longestPauseMs);
    ++host.slowDowns;
    host.pausedUntil = now + pauseMs;
    emit hostPaused(hostKey, status, pauseMs);
}

void PageLoader::answeredNormally(const QString& hostKey)
{
    const auto it = m_hosts.find(hostKey);
    if (it != m_hosts.end())
        it->second.slowDowns = 0;
}

} // namespace lookup
