#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <map>
#include <memory>
#include <optional>
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

// How one page is asked for, beyond its address.
struct LoadOptions
{
    QByteArray accept; // the Accept header; empty: what a browser sends for a page
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
    PageRequest(PageLoader& loader, const QUrl& address, const LoadOptions& options);

    // What the request does when its host's budget next lets a request go.
    enum class Step { First, Resend, Redirect, AskAgain };
    void go(std::shared_ptr<qint64> token);
    void settleToken();
    void transmit();
    void onReadyRead();
    void onFinished();
    bool redirected(int status);
    bool mayResend(int error) const;
    bool slowedDown();
    void dropReply();
    void fail(const QString& error);
    void complete();

    QPointer<PageLoader> m_loader;
    QString m_hostKey;               // the host whose place in flight the page holds
    QString m_queuedFor;             // the host whose budget the request waits for, while it waits
    std::shared_ptr<qint64> m_token; // the budget's entry for the request on its way
    LoadOptions m_options;
    QNetworkReply* m_reply = nullptr;
    int m_network = -1; // the network manager the reply is on
    QUrl m_at;          // the address of the request on its way: the page's, or a redirect's target
    QTimer m_deadline;
    QTimer m_resendPause;
    Page m_page;
    Step m_step = Step::First;
    int m_sends = 0;              // of the current ask
    int m_asksAgain = 0;          // after answers that asked to slow down
    int m_redirects = 0;          // of the current ask
    bool m_responseBegan = false; // a byte of the current request's answer arrived
    bool m_placed = false;        // holds a place in flight
    bool m_complete = false;
};

// The page loader: plain HTTP GETs through Qt Network, following redirects (also to HTTPS, never
// back down to HTTP), through the proxies the standard environment variables name, bounded in time
// and size. Several pages may be in flight; a per-host limit queues the rest. The batch tool adds a
// budget of requests per host and second, and pauses a host that answers 429 or 503; the window's
// run uses neither.
class PageLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int PageTimeoutMs = 30'000;
    static constexpr qint64 MaxBodyBytes = qint64(8) * 1024 * 1024;
    static constexpr int MaxRedirects = 10;
    // Longest path sent; servers refuse request lines far shorter than this.
    static constexpr qsizetype MaxAddressBytes = qsizetype(64) * 1024;
    // A request that fails before any byte of its answer arrived (the connection refused, reset or
    // closed, as servers do with kept-alive connections) is sent again this often, after a short pause,
    // within the page's time bound; one whose answer had begun is not.
    static constexpr int MaxResends = 2;
    static constexpr int ResendPauseMinMs = 100;
    static constexpr int ResendPauseMaxMs = 300;
    // A page whose host asked to slow down is asked again after the pause at most this often.
    static constexpr int MaxAsksAgain = 3;
    static constexpr int SlowDownFirstPauseMs = 1000;
    static constexpr int SlowDownLongestPauseMs = 5 * 60 * 1000;
    static const QByteArray UserAgent;

    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    // Starts loading the address. An invalid or non-HTTP address completes at once, not loaded.
    std::unique_ptr<PageRequest> load(const QUrl& address);
    std::unique_ptr<PageRequest> load(const QUrl& address, const LoadOptions& options);

    // At most this many pages of one host in flight (0: no limit); the others wait in order.
    void setMaxInFlightPerHost(int limit);
    int maxInFlightPerHost() const { return m_maxPerHost; }
    // The time bound of one page; PageTimeoutMs unless a test shortens it.
    void setPageTimeout(int ms) { m_timeoutMs = ms; }
    int pageTimeout() const { return m_timeoutMs; }

    // At most this many requests a second to any one host (0: no limit): every request counts, the
    // steps of a redirect chain and the resends too, by the host it goes to. For a fraction it is the
    // mean (0.5: one request every two seconds). The host counts requests as they reach it, a little
    // after they leave; a second is counted from when the answer came back (the host had the request
    // by then), or from TransitAllowanceMs after the request left, whichever is sooner.
    void setRequestRate(double perSecond);
    static constexpr int TransitAllowanceMs = 250;
    double requestRate() const { return m_rate; }

    // A 429 or 503 answer pauses its host: for its Retry-After when it gives one, else for a backoff
    // that doubles from the first pause, with jitter, up to the longest; the page is asked again after
    // the pause, at most MaxAsksAgain times. Off unless set; a test may shorten the pauses.
    void setPauseOnSlowDown(bool pause) { m_pauseOnSlowDown = pause; }
    void setSlowDownPauses(int firstMs, int longestMs);

    // The pause a Retry-After value asks for (delay seconds or an HTTP date); nullopt for a value that
    // is neither.
    static std::optional<qint64> retryAfterMs(const QByteArray& value, const QDateTime& now);

    int inFlight() const;

signals:
    // A host answered 429 or 503 and is paused for `ms`; said once per pause, not per page.
    void hostPaused(const QString& host, int status, qint64 ms);

private:
    friend class PageRequest;

    struct Host
    {
        int placed = 0;                   // pages in flight
        std::deque<PageRequest*> waiting; // pages waiting for a place
        std::deque<PageRequest*> ready;   // requests with a place, waiting for the budget
        // When the host had each of its latest requests, as far as we know: when its answer arrived, or
        // while it is on its way, when it went plus TransitAllowanceMs.
        std::deque<std::shared_ptr<qint64>> budget;
        qint64 pausedUntil = -1;
        int slowDowns = 0; // answers in a row that asked to slow down
    };

    void enqueue(PageRequest* request);
    void queueStep(PageRequest* request, const QString& hostKey);
    void release(PageRequest* request);
    void pump(const QString& hostKey);
    void pumpAll();
    std::shared_ptr<qint64> takeBudget(Host& host, qint64 now, qint64& waitMs) const;
    void wakeIn(qint64 ms);
    void slowDown(const QString& hostKey, int status, const QByteArray& retryAfter);
    void answeredNormally(const QString& hostKey);

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
    double m_rate = 0;
    int m_budgetCount = 0;       // requests allowed ...
    qint64 m_budgetWindowMs = 0; // ... within any window of this length
    bool m_pauseOnSlowDown = false;
    int m_firstPauseMs = SlowDownFirstPauseMs;
    int m_longestPauseMs = SlowDownLongestPauseMs;
    std::map<QString, Host> m_hosts; // node-based: a Host stays put while requests go
    QElapsedTimer m_clock;
    QTimer m_wake;
    qint64 m_wakeAt = -1;
    QSet<PageRequest*> m_requests;
};

} // namespace lookup
