#pragma once

#include <QByteArray>
#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <memory>
#include <vector>

class QNetworkReply;

namespace lookup {

// What came back for one page address. A page that was refused, failed in transit or went past a
// bound is not loaded: it reads as a page without the record element.
struct Page
{
    QUrl address;
    bool loaded = false;
    int httpStatus = 0;
    QByteArray contentType;
    QByteArray body;
    QString error; // why nothing was loaded, for the command line's messages
};

class PageLoader;

// One page on its way. Complete once the page has loaded or failed; completed() is always emitted
// from the event loop, never from inside PageLoader::load(), so a caller can connect after load().
class PageRequest : public QObject
{
    Q_OBJECT

public:
    ~PageRequest() override;

    bool isComplete() const { return m_complete; }
    const Page& page() const { return m_page; }

signals:
    void completed();

private:
    friend class PageLoader;
    PageRequest(PageLoader& loader, const QUrl& address);

    void send();
    void transmit();
    void onReadyRead();
    void onFinished();
    bool mayResend(int error) const;
    void dropReply();
    void fail(const QString& error);
    void complete();

    QPointer<PageLoader> m_loader;
    QString m_hostKey;
    QNetworkReply* m_reply = nullptr;
    int m_network = -1; // the network manager the reply is on
    QTimer m_deadline;
    QTimer m_resendPause;
    Page m_page;
    int m_sends = 0;
    bool m_responseBegan = false; // a byte of the current request's answer arrived
    bool m_started = false;
    bool m_complete = false;
};

// The page loader: plain HTTP GETs through Qt Network, following redirects (also to HTTPS, never
// back down to HTTP), through the proxies the standard environment variables name, bounded in time
// and size. Several pages may be in flight; a per-host limit queues the rest.
class PageLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int PageTimeoutMs = 30'000;
    static constexpr qint64 MaxBodyBytes = qint64(8) * 1024 * 1024;
    static constexpr int MaxRedirects = 10;
    // Longest path sent; servers refuse request lines far shorter than this.
    static constexpr qsizetype MaxAddressBytes = 64 * 1024;
    // A request that fails before any byte of its answer arrived (the connection refused, reset or
    // closed, as servers do with kept-alive connections) is sent again this often, after a short pause,
    // within the page's time bound; one whose answer had begun is not.
    static constexpr int MaxResends = 2;
    static constexpr int ResendPauseMinMs = 100;
    static constexpr int ResendPauseMaxMs = 300;
    static const QByteArray UserAgent;

    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    // Starts loading the address. An invalid or non-HTTP address completes at once, not loaded.
    std::unique_ptr<PageRequest> load(const QUrl& address);

    // At most this many pages of one host in flight (0: no limit); the others wait in order.
    void setMaxInFlightPerHost(int limit);
    int maxInFlightPerHost() const { return m_maxPerHost; }
    // The time bound of one page; PageTimeoutMs unless a test shortens it.
    void setPageTimeout(int ms) { m_timeoutMs = ms; }
    int pageTimeout() const { return m_timeoutMs; }

    int inFlight() const;

private:
    friend class PageRequest;
    void enqueue(PageRequest* request);
    void release(PageRequest* request);
    void startWaiting(const QString& hostKey);

    // Qt opens at most six connections to one host (or one proxy) per network manager and queues the
    // rest; when one connection fails for good it fails every request queued behind it, unsent. So a
    // manager never carries more than six requests at once, and more in flight take more managers.
    static constexpr int ConnectionsPerManager = 6;
    struct Network
    {
        std::unique_ptr<QNetworkAccessManager> manager;
        int carrying = 0;
    };
    int takeNetwork();
    void releaseNetwork(int index);
    std::vector<Network> m_networks;
    int m_maxPerHost = 0;
    int m_timeoutMs = PageTimeoutMs;
    QHash<QString, int> m_running;
    QHash<QString, std::deque<PageRequest*>> m_waiting;
    QSet<PageRequest*> m_requests;
};

} // namespace lookup
