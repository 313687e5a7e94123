#include "support/FakeWhoisServer.h"

#include <QFile>
#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray escapeHtml(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray padding(int bytes)
{
    QByteArray pad;
    pad.reserve(bytes + 200);
    int i = 0;
    while (pad.size() < bytes) {
        pad += "<div class=\"nav-item\"><a href=\"/whois/related-" + QByteArray::number(i) +
               "\" title=\"Related lookup\">Related lookup " + QByteArray::number(i) +
               "</a> <span class=\"hint\">&middot; recent</span></div>\n";
        ++i;
    }
    return pad;
}

} // namespace

// One client connection: reads request heads, answers them one after the other.
class FakeWhoisConnection
{
public:
    FakeWhoisConnection(FakeWhoisServer& server, QTcpSocket* socket) : m_server(server), m_socket(socket) {}

    void onReadyRead()
    {
        m_buffer += m_socket->readAll();
        processNext();
    }

private:
    void processNext()
    {
        while (!m_busy) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = m_buffer.left(end);
            m_buffer.remove(0, end + 4);
            answer(parse(head));
        }
    }

    static FakeWhoisServer::Request parse(const QByteArray& head)
    {
        FakeWhoisServer::Request request;
        const QByteArrayList lines = head.split('\n');
        request.line = lines.value(0).trimmed();
        const QByteArrayList parts = request.line.split(' ');
        request.target = parts.value(1);
        QByteArray hostHeader;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "host")
                hostHeader = value;
            else if (name == "user-agent")
                request.userAgent = value;
            else if (name == "accept")
                request.accept = value;
        }
        if (request.target.startsWith("http://") || request.target.startsWith("https://")) {
            request.proxyStyle = true;
            const qsizetype hostStart = request.target.indexOf("//") + 2;
            qsizetype pathStart = request.target.indexOf('/', hostStart);
            if (pathStart < 0)
                pathStart = request.target.size();
            hostHeader = request.target.mid(hostStart, pathStart - hostStart);
            request.path = request.target.mid(pathStart);
            if (request.path.isEmpty())
                request.path = "/";
        } else {
            request.path = request.target;
        }
        const qsizetype portColon = hostHeader.lastIndexOf(':');
        request.host = QString::fromLatin1(portColon >= 0 ? hostHeader.left(portColon) : hostHeader).toLower();
        return request;
    }

    void answer(const FakeWhoisServer::Request& request)
    {
        const int answers = m_server.answersPerConnection();
        if (answers > 0 && m_answered >= answers) {
            // Dropped between requests: the client learns it only from the closed connection.
            m_server.record(request);
            m_socket->disconnectFromHost();
            m_busy = true;
            return;
        }
        ++m_answered;
        m_server.record(request);
        if (request.line.startsWith("CONNECT ")) {
            // No TLS here: a redirect to HTTPS through this proxy ends at the tunnel.
            m_socket->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            m_busy = true;
            return;
        }
        const FakeWhoisServer::Response response = m_server.responseFor(request);
        if (response.delayMs > 0) {
            m_busy = true;
            QTimer::singleShot(response.delayMs, m_socket, [this, response] {
                m_busy = false;
                send(response);
                processNext();
            });
            return;
        }
        send(response);
    }

    void send(const FakeWhoisServer::Response& response)
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) +
                         "\r\nContent-Type: " + response.contentType + "\r\n";
        for (const auto& [name, value] : response.headers)
            out += name + ": " + value + "\r\n";
        switch (response.mode) {
        case FakeWhoisServer::Response::Mode::Whole:
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n" + response.body;
            m_socket->write(out);
            break;
        case FakeWhoisServer::Response::Mode::CloseMidPage:
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n" +
                   response.body.left(response.body.size() / 2);
            m_socket->write(out);
            m_socket->disconnectFromHost();
            m_busy = true;
            break;
        case FakeWhoisServer::Response::Mode::CloseUnanswered:
            m_socket->disconnectFromHost();
            m_busy = true;
            break;
        case FakeWhoisServer::Response::Mode::Endless: {
            out += "Connection: close\r\n\r\n<html><body><pre>\n";
            m_socket->write(out);
            m_busy = true;
            auto* timer = new QTimer(m_socket);
            const QByteArray chunk = QByteArray(qsizetype(64) * 1024, 'x') + '\n';
            QObject::connect(timer, &QTimer::timeout, m_socket, [socket = m_socket, chunk] {
                if (socket->bytesToWrite() < qint64(1024) * 1024)
                    socket->write(chunk);
            });
            timer->start(1);
            break;
        }
        }
    }

    FakeWhoisServer& m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    bool m_busy = false;
    int m_answered = 0;
};

FakeWhoisServer::FakeWhoisServer()
{
    m_clock.start();
    m_thread = new QThread;
    m_thread->setObjectName(u"FakeWhoisServer"_s);
    m_thread->start();
    m_server = new QTcpServer;
    m_server->moveToThread(m_thread);
    QMetaObject::invokeMethod(
        m_server,
        [this] {
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                    auto connection = std::make_shared<FakeWhoisConnection>(*this, socket);
                    QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                     [connection] { connection->onReadyRead(); });
                    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                }
            });
            m_server->listen(QHostAddress::LocalHost, 0);
            m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

FakeWhoisServer::~FakeWhoisServer()
{
    QMetaObject::invokeMethod(
        m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

QByteArray FakeWhoisServer::proxyUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port);
}

void FakeWhoisServer::becomeProxy() const
{
    qputenv("http_proxy", proxyUrl());
    qunsetenv("no_proxy");
    qunsetenv("https_proxy");
}

void FakeWhoisServer::setResponse(const QString& host, const QByteArray& path, const Response& response)
{
    QMutexLocker lock(&m_mutex);
    m_responses.insert(host.toLower() + u' ' + QString::fromLatin1(path), response);
}

void FakeWhoisServer::setHostDefault(const QString& host, const Response& response)
{
    QMutexLocker lock(&m_mutex);
    m_hostDefaults.insert(host.toLower(), response);
}

void FakeWhoisServer::clearResponses()
{
    QMutexLocker lock(&m_mutex);
    m_responses.clear();
    m_hostDefaults.clear();
    m_inTurn.clear();
}

FakeWhoisServer::Response FakeWhoisServer::responseFor(const Request& request)
{
    QMutexLocker lock(&m_mutex);
    const QString path = QString::fromLatin1(request.path);
    for (const QString& key : {QString(request.host + u' ' + path), QString(u' ' + path)})
        if (const auto it = m_inTurn.find(key); it != m_inTurn.end() && !it->isEmpty())
            return it->size() > 1 ? it->takeFirst() : it->first();
    for (const QString& key : {QString(request.host + u' ' + path), QString(u' ' + path)})
        if (const auto it = m_responses.constFind(key); it != m_responses.constEnd())
            return it.value();
    if (const auto it = m_responders.constFind(request.host); it != m_responders.constEnd())
        if (std::optional<Response> made = it.value()(request))
            return *made;
    if (const auto it = m_hostDefaults.constFind(request.host); it != m_hostDefaults.constEnd())
        return it.value();
    return page("<html><body><h1>Not Found</h1></body></html>", 404);
}

void FakeWhoisServer::record(const Request& request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
    m_requests.last().receivedMs = m_clock.elapsed();
}

QList<FakeWhoisServer::Request> FakeWhoisServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QByteArrayList FakeWhoisServer::requestLines() const
{
    QMutexLocker lock(&m_mutex);
    QByteArrayList lines;
    for (const Request& r : m_requests)
        lines.append(r.line);
    return lines;
}

void FakeWhoisServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

FakeWhoisServer::Response FakeWhoisServer::page(const QByteArray& body, int status)
{
    Response r;
    r.status = status;
    r.body = body;
    return r;
}

FakeWhoisServer::Response FakeWhoisServer::redirect(const QByteArray& location, int status)
{
    Response r = page("<html><body>Moved</body></html>", status);
    r.headers.append({"Location", location});
    return r;
}

FakeWhoisServer::Response FakeWhoisServer::endless()
{
    Response r;
    r.mode = Response::Mode::Endless;
    return r;
}

FakeWhoisServer::Response FakeWhoisServer::closedMidPage(const QByteArray& body)
{
    Response r = page(body);
    r.mode = Response::Mode::CloseMidPage;
    return r;
}

FakeWhoisServer::Response FakeWhoisServer::closedUnanswered()
{
    Response r;
    r.mode = Response::Mode::CloseUnanswered;
    return r;
}

FakeWhoisServer::Response FakeWhoisServer::huge(qint64 bytes)
{
    QByteArray body = "<html><body><pre>\ncountry: DE\n";
    body += QByteArray(bytes - body.size() - 20, 'y');
    body += "\n</pre></body></html>";
    return page(body);
}

QByteArray FakeWhoisServer::firstSitePage(const QString& record, int padBytes)
{
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Whois lookup</title>\n"
           "<script>var tpl = \"<pre>decoy</pre>\";</script><style>pre { white-space: pre-wrap; }</style>"
           "</head>\n<body><header class=\"top\"><a href=\"/\">Home</a> | <a href=\"/whois/\">Whois</a></header>\n" +
           padding(padBytes) + "<div class=\"whois-data\"><pre class=\"df-raw\" id=\"registryData\">\n" +
           escapeHtml(record) +
           "</pre></div>\n<pre class=\"footnote\">country: ZZ</pre>\n"
           "<footer><p>All data provided as is.</p></footer></body></html>\n";
}

QByteArray FakeWhoisServer::secondSitePage(const QString& record, int padBytes)
{
    QByteArray lines;
    for (const QString& line : record.split(u'\n'))
        lines += "<div class=\"row\">" + escapeHtml(line) + "</div>\n";
    return "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
           "<title>Whois Record</title><script>document.write('<div id=whoisRecordContainer>x</div>');</script>"
           "</head>\n<body><nav><ul><li>Research</li><li>Monitor</li></ul></nav>\n" +
           padding(padBytes) + "<section><div id=\"whoisRecordContainer\" class=\"raw\">\n" + lines +
           "</div></section>\n<div class=\"legal\">Registrant data redacted where required.</div></body></html>\n";
}

QByteArray FakeWhoisServer::dataFile(const QString& name)
{
    QFile file(QStringLiteral(TELLURION_TEST_DATA) + u"/lookup/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data file %s", qPrintable(file.fileName()));
    return file.readAll();
}

void FakeWhoisServer::setResponder(const QString& host, const Responder& responder)
{
    QMutexLocker lock(&m_mutex);
    m_responders.insert(host.toLower(), responder);
}

void FakeWhoisServer::setAnswersPerConnection(int count)
{
    QMutexLocker lock(&m_mutex);
    m_answersPerConnection = count;
}

int FakeWhoisServer::answersPerConnection() const
{
    QMutexLocker lock(&m_mutex);
    return m_answersPerConnection;
}

void FakeWhoisServer::setResponsesInTurn(const QString& host, const QByteArray& path, const QList<Response>& responses)
{
    QMutexLocker lock(&m_mutex);
    m_inTurn.insert(host.toLower() + u' ' + QString::fromLatin1(path), responses);
}

int FakeWhoisServer::mostRequestsInOneSecond(const QString& host) const
{
    QMutexLocker lock(&m_mutex);
    std::vector<qint64> times; // in the order received, so never decreasing
    for (const Request& r : m_requests)
        if (host.isEmpty() || r.host == host)
            times.push_back(r.receivedMs);
    int most = 0;
    size_t first = 0;
    for (size_t last = 0; last < times.size(); ++last) {
        while (times[last] - times[first] >= 1000)
            ++first;
        most = std::max(most, int(last - first + 1));
    }
    return most;
}
