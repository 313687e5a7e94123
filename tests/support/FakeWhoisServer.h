#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QThread;
class QTcpServer;

// A stand-in for both WHOIS sites on loopback. It answers proxy-style requests (absolute URI, as a
// client sends them when http_proxy names this server) for any host and direct requests (Host
// header), serves pages set per host and path, and misbehaves on demand: latency, error statuses,
// endless and huge bodies, redirects, connections closed mid-page. It runs in its own thread so
// that a test whose main thread waits (the window's run, a blocking call) never stalls it. Every
// response that has an end is written in one piece with TCP_NODELAY: split writes would cost a
// delayed ACK per request and hide the client's own speed.
class FakeWhoisServer
{
public:
    struct Response
    {
        enum class Mode {
            Whole,          // headers and body in one write
            Endless,        // a body that never ends, streamed until the client hangs up
            CloseMidPage,   // announces the whole body, sends half of it, closes
            CloseUnanswered // closes the connection on the request without sending a byte
        };
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        int delayMs = 0;
        Mode mode = Mode::Whole;
    };

    struct Request
    {
        QByteArray line;   // the request line as received
        QByteArray target; // as in the request line
        QString host;      // from the absolute URI, else the Host header, without port
        QByteArray path;   // path and query as received (still encoded)
        QByteArray userAgent;
        bool proxyStyle = false;
        qint64 receivedMs = 0; // on the server's own clock
        QByteArray accept;     // the Accept header
    };

    FakeWhoisServer();
    ~FakeWhoisServer();
    FakeWhoisServer(const FakeWhoisServer&) = delete;
    FakeWhoisServer& operator=(const FakeWhoisServer&) = delete;

    quint16 port() const { return m_port; }
    // For http_proxy: "http://127.0.0.1:<port>".
    QByteArray proxyUrl() const;
    // Sends this process's plain-HTTP requests, and those of the programs it starts, through this server:
    // http_proxy names it, and no_proxy and https_proxy are cleared.
    void becomeProxy() const;

    // host "" matches any host; path as it appears on the wire ("/whois/a%20b").
    void setResponse(const QString& host, const QByteArray& path, const Response& response);
    // For every path of the host that has no response of its own.
    void setHostDefault(const QString& host, const Response& response);
    void clearResponses();

    QList<Request> requests() const;
    QByteArrayList requestLines() const;
    void clearRequests();

    // Response makers.
    static Response page(const QByteArray& body, int status = 200);
    static Response redirect(const QByteArray& location, int status = 302);
    static Response endless();
    static Response closedMidPage(const QByteArray& body);
    static Response huge(qint64 bytes);

    // A page in the first site's layout (record in the first "pre", after decoys in the head) and in
    // the second's (record lines in the element with id "whoisRecordContainer"); padBytes adds
    // navigation markup in front of the record, to make pages of a realistic size.
    static QByteArray firstSitePage(const QString& record, int padBytes = 0);
    static QByteArray secondSitePage(const QString& record, int padBytes = 0);
    // A file of tests/data/lookup.
    static QByteArray dataFile(const QString& name);

    // Pages made per request, for tables too large to set page by page: asked (on the server's thread)
    // for every path of the host that has no response of its own, before the host's default; nullopt
    // passes the request on to the default.
    using Responder = std::function<std::optional<Response>(const Request& request)>;
    void setResponder(const QString& host, const Responder& responder);

    // As a server that drops kept-alive connections: a connection answers this many requests, then closes
    // without answering the next one that arrives on it (0, the default: connections stay open).
    void setAnswersPerConnection(int count);
    // A server that takes the request and closes the connection without a byte of answer.
    static Response closedUnanswered();
    // Successive requests for the path get these responses in turn; the last one then stays.
    void setResponsesInTurn(const QString& host, const QByteArray& path, const QList<Response>& responses);
    // The most requests for the host ("": for any host) received within any one second, as a server
    // that counts requests over a sliding second sees them.
    int mostRequestsInOneSecond(const QString& host = {}) const;

private:
    friend class FakeWhoisConnection;
    Response responseFor(const Request& request);
    void record(const Request& request);

    QThread* m_thread = nullptr;
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;

    mutable QMutex m_mutex;
    QHash<QString, Response> m_responses; // key: host + ' ' + path
    QHash<QString, Response> m_hostDefaults;
    QList<Request> m_requests;
    QHash<QString, Responder> m_responders;
    int m_answersPerConnection = 0;
    QHash<QString, QList<Response>> m_inTurn; // key: host + ' ' + path
    QElapsedTimer m_clock;

    int answersPerConnection() const;
};
