#include "rdap/Bootstrap.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstring>

using namespace Qt::StringLiterals;

namespace rdap {

QString registryName(Registry registry)
{
    switch (registry) {
    case Registry::Ipv4:
        return u"ipv4"_s;
    case Registry::Ipv6:
        return u"ipv6"_s;
    case Registry::Asn:
        return u"asn"_s;
    case Registry::Dns:
        return u"dns"_s;
    }
    return {};
}

std::array<quint8, 16> addressBytes(const QHostAddress& address)
{
    std::array<quint8, 16> bytes{};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = address.toIPv4Address();
        bytes[0] = quint8(v4 >> 24);
        bytes[1] = quint8(v4 >> 16);
        bytes[2] = quint8(v4 >> 8);
        bytes[3] = quint8(v4);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        std::memcpy(bytes.data(), v6.c, 16);
    }
    return bytes;
}

namespace {

bool inPrefix(const quint8* address, const std::array<quint8, 16>& prefix, int length)
{
    const int whole = length / 8;
    if (std::memcmp(address, prefix.data(), size_t(whole)) != 0)
        return false;
    const int rest = length % 8;
    if (rest == 0)
        return true;
    const auto mask = quint8(0xff << (8 - rest));
    return (address[whole] & mask) == (prefix[whole] & mask);
}

} // namespace

int Bootstrap::addService(const QUrl& url)
{
    for (size_t i = 0; i < m_services.size(); ++i)
        if (m_services[i] == url)
            return int(i);
    m_services.push_back(url);
    return int(m_services.size() - 1);
}

bool Bootstrap::add(const QByteArray& json, FileInfo* info, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(u"not JSON (%1 at byte %2)"_s.arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return fail(u"not a JSON object"_s);
    const QJsonObject root = document.object();
    const QJsonValue servicesValue = root.value(u"services"_s);
    if (!servicesValue.isArray())
        return fail(u"no \"services\" list"_s);

    // Everything is checked before anything is kept, so a bad file adds nothing.
    Bootstrap staged;
    staged.m_services = m_services;
    FileInfo found;
    found.publication = QDateTime::fromString(root.value(u"publication"_s).toString(), Qt::ISODate);
    // An IPv4 prefix has a dot or a slash, which an AS range never has; a top-level domain is never all digits.
    static const QRegularExpression ipv4Form(u"^[0-9]+(?:[./][0-9./]*)$"_s);
    static const QRegularExpression asnForm(u"^([0-9]{1,10})(?:-([0-9]{1,10}))?$"_s);
    static const QRegularExpression labelForm(u"^(?:[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?\\.)*"
                                              u"[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?$"_s);
    const QJsonArray services = servicesValue.toArray();
    for (qsizetype s = 0; s < services.size(); ++s) {
        const QJsonArray service = services[s].toArray();
        if (service.size() < 2 || !service[0].isArray() || !service[1].isArray())
            return fail(u"service %1 is not a list of entries and a list of URLs"_s.arg(s + 1));
        QUrl chosen;
        for (const QJsonValueConstRef value : service[1].toArray()) {
            const QUrl url(value.toString(), QUrl::StrictMode);
            const QString scheme = url.scheme().toLower();
            if (!url.isValid() || url.host().isEmpty() || (scheme != u"https"_s && scheme != u"http"_s))
                return fail(
                    u"service %1 has a URL that is not HTTP or HTTPS: \"%2\""_s.arg(s + 1).arg(value.toString()));
            if (chosen.isEmpty() || (scheme == u"https"_s && chosen.scheme().toLower() != u"https"_s))
                chosen = url;
        }
        if (chosen.isEmpty())
            return fail(u"service %1 has no URL"_s.arg(s + 1));
        // Queries are the base URL followed by a path such as "ip/192.0.2.1", so the base ends in "/".
        if (!chosen.path().endsWith(u'/'))
            chosen.setPath(chosen.path() + u'/');
        const int index = staged.addService(chosen);
        for (const QJsonValueConstRef value : service[0].toArray()) {
            const QString entry = value.toString().trimmed().toLower();
            const auto bad = [&] {
                return fail(u"service %1 has an entry of no known form: \"%2\""_s.arg(s + 1).arg(entry));
            };
            if (!value.isString() || entry.isEmpty())
                return bad();
            if (entry.contains(u':') || ipv4Form.match(entry).hasMatch()) {
                const QString text =
                    entry.contains(u'/') ? entry : entry + (entry.contains(u':') ? u"/128"_s : u"/32"_s);
                const std::pair<QHostAddress, int> subnet = QHostAddress::parseSubnet(text);
                if (subnet.first.isNull() || subnet.second < 0)
                    return bad();
                const bool v4 = subnet.first.protocol() == QAbstractSocket::IPv4Protocol;
                (v4 ? staged.m_ipv4 : staged.m_ipv6).push_back({addressBytes(subnet.first), subnet.second, index});
                found.has[int(v4 ? Registry::Ipv4 : Registry::Ipv6)] = true;
            } else if (const QRegularExpressionMatch m = asnForm.match(entry); m.hasMatch()) {
                bool okFirst = false;
                bool okLast = true;
                const qulonglong first = m.captured(1).toULongLong(&okFirst);
                const qulonglong last = m.hasCaptured(2) ? m.captured(2).toULongLong(&okLast) : first;
                if (!okFirst || !okLast || last < first || last > 0xffffffffULL)
                    return bad();
                staged.m_asn.push_back({quint32(first), quint32(last), index});
                found.has[int(Registry::Asn)] = true;
            } else if (labelForm.match(entry).hasMatch()) {
                // The first file to name a label keeps it.
                if (!staged.m_dns.contains(entry) && !m_dns.contains(entry))
                    staged.m_dns.insert(entry, index);
                found.has[int(Registry::Dns)] = true;
            } else {
                return bad();
            }
        }
    }

    m_services = std::move(staged.m_services);
    m_ipv4.insert(m_ipv4.end(), staged.m_ipv4.begin(), staged.m_ipv4.end());
    m_ipv6.insert(m_ipv6.end(), staged.m_ipv6.begin(), staged.m_ipv6.end());
    m_asn.insert(m_asn.end(), staged.m_asn.begin(), staged.m_asn.end());
    m_dns.insert(staged.m_dns);
    if (info)
        *info = found;
    return true;
}

bool Bootstrap::covers(Registry registry) const
{
    switch (registry) {
    case Registry::Ipv4:
        return !m_ipv4.empty();
    case Registry::Ipv6:
        return !m_ipv6.empty();
    case Registry::Asn:
        return !m_asn.empty();
    case Registry::Dns:
        return !m_dns.isEmpty();
    }
    return false;
}

QUrl Bootstrap::serviceForBytes(const std::vector<Prefix>& prefixes, const quint8* bytes) const
{
    const Prefix* best = nullptr;
    for (const Prefix& prefix : prefixes)
        if ((!best || prefix.length > best->length) && inPrefix(bytes, prefix.bytes, prefix.length))
            best = &prefix;
    return best ? m_services[size_t(best->service)] : QUrl();
}

QUrl Bootstrap::serviceForAddress(const QHostAddress& address) const
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return serviceForBytes(m_ipv4, addressBytes(address).data());
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        // An IPv4 address written as IPv6 (::ffff:192.0.2.1) belongs to the IPv4 registry.
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (isV4)
            return serviceForAddress(QHostAddress(v4));
        return serviceForBytes(m_ipv6, addressBytes(address).data());
    }
    return {};
}

QUrl Bootstrap::serviceForAsn(quint32 number) const
{
    // Ranges do not overlap in IANA's file; should a private file nest them, the narrowest wins.
    const AsRange* best = nullptr;
    for (const AsRange& range : m_asn)
        if (number >= range.first && number <= range.last &&
            (!best || range.last - range.first < best->last - best->first))
            best = &range;
    return best ? m_services[size_t(best->service)] : QUrl();
}

QUrl Bootstrap::serviceForDomain(const QString& name) const
{
    // The longest label suffix that has an entry: "a.b.co.uk" tries "a.b.co.uk", "b.co.uk", "co.uk", "uk".
    QString suffix = name.toLower();
    while (suffix.endsWith(u'.'))
        suffix.chop(1);
    while (!suffix.isEmpty()) {
        const auto it = m_dns.constFind(suffix);
        if (it != m_dns.constEnd())
            return m_services[size_t(it.value())];
        const qsizetype dot = suffix.indexOf(u'.');
        if (dot < 0)
            break;
        suffix = suffix.mid(dot + 1);
    }
    return {};
}

} // namespace rdap
