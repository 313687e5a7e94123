#include "rdap/RdapReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cstring>

using namespace Qt::StringLiterals;

namespace rdap {

namespace {

// Entities hold entities (a registrar's abuse contact, a registrant's technical contact); the registrant
// is at the top in every registry's answers, so a few levels are plenty and a hostile nesting costs nothing.
constexpr int MaxEntityDepth = 3;
// Texts longer than this are not what a handle, a code or a name looks like.
constexpr qsizetype MaxTextChars = 255;

QString shortText(const QJsonValue& value)
{
    const QString text = value.toString().trimmed();
    return text.size() > MaxTextChars ? QString() : text;
}

bool isCode(const QString& text)
{
    return text.size() == 2 && text[0].isLetter() && text[1].isLetter() && text[0].unicode() < 128 &&
           text[1].unicode() < 128;
}

bool hasRole(const QJsonObject& entity, const QString& role)
{
    const QJsonArray roles = entity.value(u"roles"_s).toArray();
    for (const QJsonValue& r : roles)
        if (r.toString().compare(role, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QJsonObject findRegistrant(const QJsonArray& entities, int depth)
{
    for (const QJsonValue& value : entities) {
        const QJsonObject entity = value.toObject();
        if (hasRole(entity, u"registrant"_s))
            return entity;
    }
    if (depth + 1 >= MaxEntityDepth)
        return {};
    for (const QJsonValue& value : entities) {
        const QJsonObject found = findRegistrant(value.toObject().value(u"entities"_s).toArray(), depth + 1);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

// A jCard parameter or component may be a text or a list of texts; the first text counts.
QString firstText(const QJsonValue& value)
{
    if (value.isArray())
        return shortText(value.toArray().first());
    return shortText(value);
}

struct Address
{
    QString code;
    QString name;
    bool placeholder = false; // a placeholder stands where the address would be
};

// The registrant's country from its vCard (RFC 7095 jCard): the "adr" property's "cc" parameter (RFC 8605),
// its country-name component, else the last line of its "label" parameter.
Address addressOf(const QJsonObject& entity)
{
    Address address;
    const QJsonArray vcard = entity.value(u"vcardArray"_s).toArray();
    const QJsonArray properties = vcard.at(1).toArray();
    for (const QJsonValue& p : properties) {
        const QJsonArray property = p.toArray();
        const QString name = property.at(0).toString();
        if (name.compare(u"fn"_s, Qt::CaseInsensitive) == 0 || name.compare(u"org"_s, Qt::CaseInsensitive) == 0) {
            if (isPlaceholder(firstText(property.at(3))))
                address.placeholder = true;
            continue;
        }
        if (name.compare(u"adr"_s, Qt::CaseInsensitive) != 0 || !address.code.isEmpty())
            continue;
        const QJsonObject parameters = property.at(1).toObject();
        const QString cc = firstText(parameters.value(u"cc"_s));
        if (isPlaceholder(cc))
            address.placeholder = true;
        else if (isCode(cc))
            address.code = cc;
        QString country = firstText(property.at(3).toArray().at(6));
        if (country.isEmpty()) {
            const QStringList lines = parameters.value(u"label"_s).toString().split(u'\n', Qt::SkipEmptyParts);
            if (!lines.isEmpty() && lines.size() > 1)
                country = lines.last().trimmed().left(MaxTextChars);
        }
        if (isPlaceholder(country))
            address.placeholder = true;
        else if (address.name.isEmpty())
            address.name = country;
    }
    return address;
}

// RFC 9537: whether the "redacted" member names the registrant's country, or the registrant as a whole.
bool registrantCountryRedacted(const QJsonObject& root)
{
    for (const QJsonValue& value : root.value(u"redacted"_s).toArray()) {
        const QJsonObject redaction = value.toObject();
        const QJsonObject nameObject = redaction.value(u"name"_s).toObject();
        const QString name =
            (nameObject.value(u"type"_s).toString() + u' ' + nameObject.value(u"description"_s).toString()).toLower();
        if (name.contains(u"registrant"_s) && (name.contains(u"country"_s) || name.trimmed() == u"registrant"_s))
            return true;
        // A path into the vCard's adr counts when it takes the whole address or its country-name element
        // (index 6 of the value), not when it takes the street or the city.
        for (const QString& key : {u"prePath"_s, u"postPath"_s, u"replacementPath"_s}) {
            const QString path = redaction.value(key).toString().toLower().remove(u' ');
            if (!path.contains(u"registrant"_s))
                continue;
            if (path.endsWith(u"registrant')]"_s) || path.endsWith(u"registrant\")]"_s))
                return true; // the whole registrant
            const qsizetype adr = std::max(path.indexOf(u"'adr')]"_s), path.indexOf(u"\"adr\")]"_s));
            if (adr < 0)
                continue;
            const QString rest = path.mid(adr + 7);
            if (rest.isEmpty() || rest == u"[3]"_s || rest == u"[3][6]"_s)
                return true;
        }
    }
    return false;
}

using Bytes = std::array<quint8, 16>;

bool addressBytes(const QString& text, QAbstractSocket::NetworkLayerProtocol& protocol, Bytes& bytes)
{
    const QHostAddress address(text);
    protocol = address.protocol();
    bytes = {};
    if (protocol == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = address.toIPv4Address();
        for (int i = 0; i < 4; ++i)
            bytes[size_t(i)] = quint8(v4 >> (24 - 8 * i));
        return true;
    }
    if (protocol == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        std::memcpy(bytes.data(), v6.c, 16);
        return true;
    }
    return false;
}

bool bit(const Bytes& bytes, int index)
{
    return (bytes[size_t(index / 8)] >> (7 - index % 8)) & 1;
}

// "start/len" when the range is exactly one prefix, else "start - end"; empty when the ends are not
// addresses of one family in order.
QString blockOf(const QString& start, const QString& end)
{
    QAbstractSocket::NetworkLayerProtocol p1;
    QAbstractSocket::NetworkLayerProtocol p2;
    Bytes a;
    Bytes b;
    if (!addressBytes(start, p1, a) || !addressBytes(end, p2, b) || p1 != p2 || std::memcmp(a.data(), b.data(), 16) > 0)
        return {};
    const int bits = p1 == QAbstractSocket::IPv4Protocol ? 32 : 128;
    int common = 0;
    while (common < bits && bit(a, common) == bit(b, common))
        ++common;
    bool prefix = true;
    for (int i = common; i < bits && prefix; ++i)
        prefix = !bit(a, i) && bit(b, i);
    const QString first = QHostAddress(start).toString();
    if (prefix)
        return first + u'/' + QString::number(common);
    return first + u" - "_s + QHostAddress(end).toString();
}

// The cidr0 extension's prefixes (ARIN, APNIC and others): [{"v4prefix": "192.0.2.0", "length": 24}].
QString cidrBlock(const QJsonArray& cidrs, const QHostAddress& asked)
{
    QString only;
    int count = 0;
    for (const QJsonValue& value : cidrs) {
        const QJsonObject cidr = value.toObject();
        QString prefix = cidr.value(u"v4prefix"_s).toString();
        if (prefix.isEmpty())
            prefix = cidr.value(u"v6prefix"_s).toString();
        const int length = cidr.value(u"length"_s).toInt(-1);
        const QHostAddress address(prefix);
        const int maxLength = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        if (address.isNull() || length < 0 || length > maxLength)
            continue;
        const QString text = address.toString() + u'/' + QString::number(length);
        if (!asked.isNull() && asked.isInSubnet(address, length))
            return text;
        only = text;
        ++count;
    }
    return count == 1 ? only : QString();
}

Reading::Kind kindOf(const QJsonObject& o)
{
    const QString name = o.value(u"objectClassName"_s).toString().toLower();
    if (name == u"ip network"_s)
        return Reading::Kind::Network;
    if (name == u"domain"_s)
        return Reading::Kind::Domain;
    if (name == u"autnum"_s)
        return Reading::Kind::Autnum;
    if (name == u"entity"_s)
        return Reading::Kind::Entity;
    if (o.contains(u"errorCode"_s))
        return Reading::Kind::Error;
    // Servers that leave out the class name still give the members of the class.
    if (o.contains(u"startAddress"_s))
        return Reading::Kind::Network;
    if (o.contains(u"ldhName"_s))
        return Reading::Kind::Domain;
    if (o.contains(u"startAutnum"_s))
        return Reading::Kind::Autnum;
    return Reading::Kind::Other;
}

QUrl relatedLink(const QJsonObject& o)
{
    QUrl fallback;
    for (const QJsonValue& value : o.value(u"links"_s).toArray()) {
        const QJsonObject link = value.toObject();
        if (link.value(u"rel"_s).toString().compare(u"related"_s, Qt::CaseInsensitive) != 0)
            continue;
        const QUrl href(link.value(u"href"_s).toString(), QUrl::StrictMode);
        const QString scheme = href.scheme().toLower();
        if (!href.isValid() || href.host().isEmpty() || (scheme != u"https"_s && scheme != u"http"_s))
            continue;
        if (link.value(u"type"_s).toString().startsWith(u"application/rdap+json"_s, Qt::CaseInsensitive))
            return href;
        if (fallback.isEmpty() && href.path().contains(u"/domain/"_s, Qt::CaseInsensitive))
            fallback = href;
    }
    return fallback;
}

} // namespace

bool isPlaceholder(const QString& text)
{
    static const QStringList marks{u"redacted"_s,  u"privacy"_s,       u"withheld"_s,       u"not disclosed"_s,
                                   u"undisclosed"_s, u"non-public"_s,  u"data protected"_s, u"not available"_s,
                                   u"gdpr"_s,       u"masked"_s};
    if (text.isEmpty())
        return false;
    for (const QString& mark : marks)
        if (text.contains(mark, Qt::CaseInsensitive))
            return true;
    return false;
}

Reading readObject(const QJsonObject& o, const QHostAddress& asked)
{
    Reading r;
    r.ok = true;
    r.kind = kindOf(o);
    r.handle = shortText(o.value(u"handle"_s));
    if (r.kind == Reading::Kind::Error) {
        r.errorCode = o.value(u"errorCode"_s).toInt();
        r.errorTitle = shortText(o.value(u"title"_s));
        return r;
    }

    const QString own = shortText(o.value(u"country"_s));
    if (isCode(own))
        r.country = own;

    switch (r.kind) {
    case Reading::Kind::Network:
        r.network = cidrBlock(o.value(u"cidr0_cidrs"_s).toArray(), asked);
        if (r.network.isEmpty())
            r.network = blockOf(o.value(u"startAddress"_s).toString(), o.value(u"endAddress"_s).toString());
        break;
    case Reading::Kind::Domain:
        r.network = shortText(o.value(u"ldhName"_s)).toLower();
        if (r.network.isEmpty())
            r.network = shortText(o.value(u"unicodeName"_s)).toLower();
        break;
    case Reading::Kind::Autnum: {
        const qint64 first = o.value(u"startAutnum"_s).toInteger(-1);
        const qint64 last = o.value(u"endAutnum"_s).toInteger(first);
        if (first >= 0 && last >= first && last <= 0xffffffffLL)
            r.network = first == last ? u"AS%1"_s.arg(first) : u"AS%1-AS%2"_s.arg(first).arg(last);
        break;
    }
    default:
        break;
    }

    const QJsonObject registrant = findRegistrant(o.value(u"entities"_s).toArray(), 0);
    r.hasRegistrant = !registrant.isEmpty();
    const bool redactedByName = registrantCountryRedacted(o);
    if (r.country.isEmpty() && r.hasRegistrant) {
        const Address address = addressOf(registrant);
        if (redactedByName || (address.code.isEmpty() && address.name.isEmpty() && address.placeholder)) {
            r.redacted = true;
        } else {
            r.country = address.code;
            if (r.country.isEmpty())
                r.countryName = address.name;
        }
    } else if (r.country.isEmpty() && redactedByName) {
        r.redacted = true;
    }
    if (r.kind == Reading::Kind::Domain && !r.hasRegistrant && !r.redacted)
        r.related = relatedLink(o);
    return r;
}

Reading readAnswer(const QByteArray& body, const QHostAddress& asked)
{
    Reading r;
    if (body.size() > MaxAnswerBytes) {
        r.problem = u"answer larger than %1 bytes"_s.arg(MaxAnswerBytes);
        return r;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        r.problem = error.error == QJsonParseError::DeepNesting ? u"answer nested too deeply"_s
                                                                 : u"answer is not JSON (%1)"_s.arg(error.errorString());
        return r;
    }
    if (!document.isObject()) {
        r.problem = u"answer is not a JSON object"_s;
        return r;
    }
    return readObject(document.object(), asked);
}

} // namespace rdap
