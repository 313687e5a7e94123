// RDAP: how fast answers of a typical size (2-20 KB) are read on one core, and how close `--source rdap`
// comes to the rate that -j and --rate allow when the fake RDAP service takes 100 ms per answer.
#include "Bench.h"

#include "rdap/RdapReader.h"
#include "support/FakeWhoisServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QJsonArray vcard(const QString& name, const QString& label)
{
    return QJsonArray{u"vcard"_s, QJsonArray{QJsonArray{u"version"_s, QJsonObject{}, u"text"_s, u"4.0"_s},
                                             QJsonArray{u"fn"_s, QJsonObject{}, u"text"_s, name},
                                             QJsonArray{u"kind"_s, QJsonObject{}, u"text"_s, u"org"_s},
                                             QJsonArray{u"adr"_s, QJsonObject{{u"label"_s, label}}, u"text"_s,
                                                        QJsonArray{u""_s, u""_s, u""_s, u""_s, u""_s, u""_s, u""_s}},
                                             QJsonArray{u"tel"_s, QJsonObject{{u"type"_s, u"work"_s}}, u"uri"_s,
                                                        u"tel:+1-555-0100"_s},
                                             QJsonArray{u"email"_s, QJsonObject{}, u"text"_s, u"noc@example.net"_s}}};
}

// A network answer as the registries give them: notices, remarks, events, links and contact entities, with
// as many remark lines as it takes to reach about `bytes`. Half carry their own country, half only the
// registrant's address.
QByteArray networkAnswer(int index, int bytes)
{
    QJsonObject o{
        {u"rdapConformance"_s, QJsonArray{u"rdap_level_0"_s, u"cidr0"_s, u"nro_rdap_profile_0"_s}},
        {u"objectClassName"_s, u"ip network"_s},
        {u"handle"_s, u"NET-10-%1-0-0-1"_s.arg(index % 256)},
        {u"startAddress"_s, u"10.%1.0.0"_s.arg(index % 256)},
        {u"endAddress"_s, u"10.%1.255.255"_s.arg(index % 256)},
        {u"ipVersion"_s, u"v4"_s},
        {u"name"_s, u"EXAMPLE-NET-%1"_s.arg(index)},
        {u"type"_s, u"ALLOCATED PA"_s},
        {u"cidr0_cidrs"_s,
         QJsonArray{QJsonObject{{u"v4prefix"_s, u"10.%1.0.0"_s.arg(index % 256)}, {u"length"_s, 16}}}},
        {u"status"_s, QJsonArray{u"active"_s}},
        {u"events"_s,
         QJsonArray{QJsonObject{{u"eventAction"_s, u"registration"_s}, {u"eventDate"_s, u"2009-01-15T10:00:00Z"_s}},
                    QJsonObject{{u"eventAction"_s, u"last changed"_s}, {u"eventDate"_s, u"2024-03-01T08:30:00Z"_s}}}},
        {u"links"_s, QJsonArray{QJsonObject{{u"value"_s, u"https://rdap.example.net/ip/10.0.0.1"_s},
                                            {u"rel"_s, u"self"_s},
                                            {u"href"_s, u"https://rdap.example.net/ip/10.0.0.0/16"_s},
                                            {u"type"_s, u"application/rdap+json"_s}}}},
        {u"notices"_s,
         QJsonArray{QJsonObject{{u"title"_s, u"Terms and Conditions"_s},
                                {u"description"_s, QJsonArray{u"This is the registry's RDAP service. "
                                                              u"Use of the data is subject to the terms of use."_s}},
                                {u"links"_s, QJsonArray{QJsonObject{{u"href"_s, u"https://www.example.net/terms"_s},
                                                                    {u"rel"_s, u"terms-of-service"_s}}}}}}}};
    if (index % 2 == 0)
        o.insert(u"country"_s, u"DE"_s);
    QJsonArray entities;
    entities.append(QJsonObject{
        {u"objectClassName"_s, u"entity"_s},
        {u"handle"_s, u"ORG-EX%1"_s.arg(index)},
        {u"roles"_s, QJsonArray{u"registrant"_s}},
        {u"vcardArray"_s, vcard(u"Example Networks %1"_s.arg(index), u"1 Example Road\nSpringfield\nCanada"_s)}});
    for (int i = 0; i < 3; ++i)
        entities.append(
            QJsonObject{{u"objectClassName"_s, u"entity"_s},
                        {u"handle"_s, u"CONTACT-%1-%2"_s.arg(index).arg(i)},
                        {u"roles"_s, QJsonArray{i == 0 ? u"abuse"_s : u"technical"_s}},
                        {u"vcardArray"_s, vcard(u"Contact %1"_s.arg(i), u"2 Example Street\nSpringfield\nCanada"_s)}});
    o.insert(u"entities"_s, entities);
    QJsonArray remarks;
    o.insert(u"remarks"_s, remarks);
    while (QJsonDocument(o).toJson(QJsonDocument::Compact).size() < bytes) {
        remarks.append(
            QJsonObject{{u"title"_s, u"remarks"_s},
                        {u"description"_s, QJsonArray{u"Line %1 of the registry's remarks about this network "
                                                      u"and whom to ask about it."_s.arg(remarks.size())}}});
        o.insert(u"remarks"_s, remarks);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void benchReader()
{
    std::vector<QByteArray> answers;
    qint64 totalBytes = 0;
    for (int i = 0; i < 64; ++i) {
        answers.push_back(networkAnswer(i, 2048 + (i * 18432) / 63)); // 2 KB to 20 KB, evenly
        totalBytes += answers.back().size();
    }
    const QHostAddress asked(u"10.1.2.3"_s);
    int withCode = 0;
    constexpr int Rounds = 40'000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Rounds; ++i)
        withCode += !rdap::readAnswer(answers[size_t(i) % answers.size()], asked).country.isEmpty();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (withCode != Rounds / 2)
        std::fprintf(stderr, "bench_rdap: %d of %d answers gave a code, expected half\n", withCode, Rounds);
    const double meanBytes = double(totalBytes) / double(answers.size());
    benchFigure("rdap_answer_mean_size", meanBytes / 1024.0, "KB");
    benchFigure("rdap_answers_read", double(Rounds) / seconds, "answers/s");
    benchFigure("rdap_answers_read_bytes", double(Rounds) * meanBytes / seconds / 1e6, "MB/s");
}

// `--source rdap` on `count` addresses at -j `jobs` and --rate `rate` (0: none), every answer 100 ms late;
// returns entries/s ÷ what -j and --rate allow.
// Without the cache, which would ask once per block.
double rateShare(FakeWhoisServer& server, const QString& bootstrap, int jobs, int rate, int count)
{
    QTemporaryDir dir;
    QFile list(dir.filePath(u"list.txt"_s));
    list.open(QIODevice::WriteOnly);
    for (int i = 0; i < count; ++i)
        list.write(u"10.%1.%2.%3\n"_s.arg(i / 65536).arg((i / 256) % 256).arg(i % 256).toLatin1());
    list.close();
    server.clearRequests();
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"http_proxy"_s);
    env.insert(u"XDG_CACHE_HOME"_s, dir.filePath(u"cache"_s));
    cli.setProcessEnvironment(env);
    cli.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    cli.start(QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s,
              {u"-q"_s, u"--no-cache"_s, u"--rate"_s, QString::number(rate), u"--source"_s, u"rdap"_s,
               u"--rdap-bootstrap"_s, bootstrap, u"-j"_s, QString::number(jobs), list.fileName()});
    cli.waitForFinished(600'000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (cli.exitCode() != 0 || server.requests().size() != count)
        std::fprintf(stderr, "bench_rdap: tellurion-cli exited with %d after %lld requests: %s\n", cli.exitCode(),
                     static_cast<long long>(server.requests().size()), cli.readAllStandardError().left(2000).constData());
    // -j answers every 100 ms, or the budget's rate when that is lower.
    const double ideal = rate > 0 ? std::min(jobs / 0.1, double(rate)) : jobs / 0.1;
    return double(count) / seconds / ideal;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    benchReader();

    FakeWhoisServer server;
    FakeWhoisServer::Response answer = FakeWhoisServer::page(networkAnswer(0, 6000));
    answer.contentType = "application/rdap+json";
    answer.delayMs = 100;
    server.setHostDefault(u"127.0.0.1"_s, answer);
    QTemporaryDir dir;
    const QString bootstrap = dir.filePath(u"bootstrap.json"_s);
    QFile file(bootstrap);
    file.open(QIODevice::WriteOnly);
    file.write("{\"version\": \"1.0\", \"services\": [[[\"10.0.0.0/8\"], [\"http://127.0.0.1:" +
               QByteArray::number(server.port()) + "/rdap/\"]]]}");
    file.close();
    benchFigure("rdap_cli_j8_share_of_ideal", rateShare(server, bootstrap, 8, 0, 400), "ratio");
    benchFigure("rdap_cli_j32_share_of_ideal", rateShare(server, bootstrap, 32, 0, 1600), "ratio");
    benchFigure("rdap_cli_j32_rate50_share_of_ideal", rateShare(server, bootstrap, 32, 50, 400), "ratio");
    benchFigure("rdap_cli_rate50_most_requests_in_a_second", server.mostRequestsInOneSecond(), "requests");
    return 0;
}
