#include "rdap/RdapReader.h"

#include "rdap/Bootstrap.h"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

using namespace Qt::StringLiterals;
using simdjson::dom::array;
using simdjson::dom::element;

namespace rdap {

namespace {

// Entities hold entities (a registrar's abuse contact, a registrant's technical contact); the registrant
// is at the top in every registry's answers, so a few levels are plenty and a hostile nesting costs nothing.
constexpr int MaxEntityDepth = 3;
// Texts longer than this are not what a handle, a code or a name looks like.
constexpr size_t MaxTextBytes = 255;

// Every access goes through simdjson's result type, which carries a missing member or a value of the wrong
// type along as an error: a chain of lookups on a stranger's answer never touches what is not there.
using Value = simdjson::simdjson_result<element>;

Value member(const Value& v, std::string_view key)
{
    return v[key];
}

Value item(const Value& v, size_t n)
{
    return v.at(n);
}

bool exists(const Value& v)
{
    return v.error() == simdjson::SUCCESS;
}

std::string_view text(const Value& v)
{
    std::string_view value;
    if (v.get(value) != simdjson::SUCCESS)
        return {};
    return value;
}

template <typename Visit> void forEach(const Value& v, Visit visit)
{
    array items;
    if (v.get(items) != simdjson::SUCCESS)
        return;
    for (element e : items)
        if (visit(Value(element(e))))
            return;
}

QString toText(std::string_view value)
{
    if (value.size() > MaxTextBytes)
        return {};
    return QString::fromUtf8(value.data(), qsizetype(value.size())).trimmed();
}

// A jCard parameter or component may be a text or a list of texts; the first text counts.
QString firstText(const Value& v)
{
    if (v.is_array())
        return toText(text(item(v, 0)));
    return toText(text(v));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

bool isCode(const QString& value)
{
    return value.size() == 2 && value[0].unicode() < 128 && value[1].unicode() < 128 && value[0].isLetter() &&
           value[1].isLetter();
}

bool hasRole(const Value& entity, std::string_view role)
{
    bool found = false;
    forEach(member(entity, "roles"), [&](const Value& r) { return found = equalsIgnoringCase(text(r), role); });
    return found;
}

// The first entity with the registrant role, the list's own before those they hold; an error when none.
Value findRegistrant(const Value& entities, int depth)
{
    Value found(simdjson::NO_SUCH_FIELD);
    forEach(entities, [&](const Value& entity) {
        if (hasRole(entity, "registrant"))
            found = entity;
        return exists(found);
    });
    if (exists(found) || depth + 1 >= MaxEntityDepth)
        return found;
    forEach(entities, [&](const Value& entity) {
        found = findRegistrant(member(entity, "entities"), depth + 1);
        return exists(found);
    });
    return found;
}

struct Address
{
    QString code;
    QString name;
    bool placeholder = false; // a placeholder stands where the address or the name would be
};

// The registrant's country from its vCard (RFC 7095 jCard): the "adr" property's "cc" parameter (RFC 8605),
// its country-name component, else the last line of its "label" parameter.
Address addressOf(const Value& entity)
{
    Address address;
    forEach(item(member(entity, "vcardArray"), 1), [&](const Value& property) {
        const std::string_view name = text(item(property, 0));
        if (equalsIgnoringCase(name, "fn") || equalsIgnoringCase(name, "org")) {
            if (isPlaceholder(firstText(item(property, 3))))
                address.placeholder = true;
            return false;
        }
        if (!equalsIgnoringCase(name, "adr") || !address.code.isEmpty())
            return false;
        const Value parameters = item(property, 1);
        const QString cc = firstText(member(parameters, "cc"));
        if (isPlaceholder(cc))
            address.placeholder = true;
        else if (isCode(cc))
            address.code = cc;
        QString country = firstText(item(item(property, 3), 6));
        if (country.isEmpty()) {
            const std::string_view label = text(member(parameters, "label"));
            const size_t end = label.find_last_not_of(" \t\r\n");
            const size_t start = end == std::string_view::npos ? end : label.find_last_of('\n', end);
            // One line alone is no address; the last of several is its country.
            if (start != std::string_view::npos)
                country = toText(label.substr(start + 1, end - start));
        }
        if (isPlaceholder(country))
            address.placeholder = true;
        else if (address.name.isEmpty())
            address.name = country;
        return false;
    });
    return address;
}

// RFC 9537: whether the "redacted" member names the registrant's country, or the registrant as a whole.
bool registrantCountryRedacted(const Value& root)
{
    bool redacted = false;
    forEach(member(root, "redacted"), [&](const Value& redaction) {
        const Value nameObject = member(redaction, "name");
        const QString name = (QString::fromUtf8(text(member(nameObject, "type"))) + u' ' +
                              QString::fromUtf8(text(member(nameObject, "description"))))
                                 .toLower();
        if (name.contains(u"registrant"_s) && (name.contains(u"country"_s) || name.trimmed() == u"registrant"_s))
            return redacted = true;
        // A path into the vCard's adr counts when it takes the whole address or its country-name element
        // (index 6 of the value), not when it takes the street or the city.
        for (const char* key : {"prePath", "postPath", "replacementPath"}) {
            const QString path = QString::fromUtf8(text(member(redaction, key))).toLower().remove(u' ');
            if (!path.contains(u"registrant"_s))
                continue;
            if (path.endsWith(u"registrant')]"_s) || path.endsWith(u"registrant\")]"_s))
                return redacted = true; // the whole registrant
            const qsizetype adr = std::max(path.indexOf(u"'adr')]"_s), path.indexOf(u"\"adr\")]"_s));
            if (adr < 0)
                continue;
            const QString rest = path.mid(adr + 7);
            if (rest.isEmpty() || rest == u"[3]"_s || rest == u"[3][6]"_s)
                return redacted = true;
        }
        return false;
    });
    return redacted;
}

using Bytes = std::array<quint8, 16>;

bool bit(const Bytes& bytes, int index)
{
    return (bytes[size_t(index / 8)] >> (7 - index % 8)) & 1;
}

// "start/len" when the range is exactly one prefix, else "start - end"; empty when the ends are not
// addresses of one family in order.
QString blockOf(std::string_view startText, std::string_view endText)
{
    if (startText.empty() || endText.empty() || startText.size() > 64 || endText.size() > 64)
        return {};
    const QHostAddress start(QString::fromLatin1(startText.data(), qsizetype(startText.size())));
    const QHostAddress end(QString::fromLatin1(endText.data(), qsizetype(endText.size())));
    if (start.isNull() || start.protocol() != end.protocol())
        return {};
    const Bytes a = addressBytes(start);
    const Bytes b = addressBytes(end);
    if (std::memcmp(a.data(), b.data(), 16) > 0)
        return {};
    const int bits = start.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    int common = 0;
    while (common < bits && bit(a, common) == bit(b, common))
        ++common;
    bool prefix = true;
    for (int i = common; i < bits && prefix; ++i)
        prefix = !bit(a, i) && bit(b, i);
    if (prefix)
        return start.toString() + u'/' + QString::number(common);
    return start.toString() + u" - "_s + end.toString();
}

// The cidr0 extension's prefixes (ARIN, APNIC and others): [{"v4prefix": "192.0.2.0", "length": 24}].
QString cidrBlock(const Value& cidrs, const QHostAddress& asked)
{
    QString only;
    QString holding;
    int count = 0;
    forEach(cidrs, [&](const Value& cidr) {
        std::string_view prefix = text(member(cidr, "v4prefix"));
        if (prefix.empty())
            prefix = text(member(cidr, "v6prefix"));
        int64_t length = -1;
        if (prefix.empty() || prefix.size() > 64 || member(cidr, "length").get(length) != simdjson::SUCCESS)
            return false;
        const QHostAddress address(QString::fromLatin1(prefix.data(), qsizetype(prefix.size())));
        const int maxLength = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        if (address.isNull() || length < 0 || length > maxLength)
            return false;
        only = address.toString() + u'/' + QString::number(length);
        ++count;
        if (!asked.isNull() && asked.isInSubnet(address, int(length)))
            holding = only;
        return !holding.isEmpty();
    });
    return !holding.isEmpty() ? holding : count == 1 ? only : QString();
}

Reading::Kind kindOf(const Value& o)
{
    const std::string_view name = text(member(o, "objectClassName"));
    if (equalsIgnoringCase(name, "ip network"))
        return Reading::Kind::Network;
    if (equalsIgnoringCase(name, "domain"))
        return Reading::Kind::Domain;
    if (equalsIgnoringCase(name, "autnum"))
        return Reading::Kind::Autnum;
    if (equalsIgnoringCase(name, "entity"))
        return Reading::Kind::Entity;
    if (exists(member(o, "errorCode")))
        return Reading::Kind::Error;
    // Servers that leave out the class name still give the members of the class.
    if (!text(member(o, "startAddress")).empty())
        return Reading::Kind::Network;
    if (!text(member(o, "ldhName")).empty())
        return Reading::Kind::Domain;
    if (exists(member(o, "startAutnum")))
        return Reading::Kind::Autnum;
    return Reading::Kind::Other;
}

QUrl relatedLink(const Value& o)
{
    QUrl fallback;
    QUrl typed;
    forEach(member(o, "links"), [&](const Value& link) {
        if (!equalsIgnoringCase(text(member(link, "rel")), "related"))
            return false;
        const std::string_view href = text(member(link, "href"));
        if (href.size() > 2048)
            return false;
        const QUrl url(QString::fromUtf8(href.data(), qsizetype(href.size())), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != u"https"_s && scheme != u"http"_s))
            return false;
        const std::string_view type = text(member(link, "type"));
        if (type.substr(0, 21) == "application/rdap+json")
            typed = url;
        else if (fallback.isEmpty() && url.path().contains(u"/domain/"_s, Qt::CaseInsensitive))
            fallback = url;
        return !typed.isEmpty();
    });
    return typed.isEmpty() ? fallback : typed;
}

Reading read(const Value& o, const QHostAddress& asked)
{
    Reading r;
    r.ok = true;
    r.kind = kindOf(o);
    r.handle = toText(text(member(o, "handle")));
    if (r.kind == Reading::Kind::Error) {
        int64_t code = 0;
        r.errorCode = member(o, "errorCode").get(code) != simdjson::SUCCESS || code < 0 || code > 999 ? 0 : int(code);
        r.errorTitle = toText(text(member(o, "title")));
        return r;
    }

    const QString own = toText(text(member(o, "country")));
    if (isCode(own))
        r.country = own;

    switch (r.kind) {
    case Reading::Kind::Network:
        r.network = cidrBlock(member(o, "cidr0_cidrs"), asked);
        if (r.network.isEmpty())
            r.network = blockOf(text(member(o, "startAddress")), text(member(o, "endAddress")));
        break;
    case Reading::Kind::Domain:
        r.network = toText(text(member(o, "ldhName"))).toLower();
        if (r.network.isEmpty())
            r.network = toText(text(member(o, "unicodeName"))).toLower();
        break;
    case Reading::Kind::Autnum: {
        int64_t first = -1;
        int64_t last = -1;
        if (member(o, "startAutnum").get(first) != simdjson::SUCCESS)
            first = -1;
        if (member(o, "endAutnum").get(last) != simdjson::SUCCESS)
            last = first;
        if (first >= 0 && last >= first && last <= 0xffffffffLL)
            r.network = first == last ? u"AS%1"_s.arg(first) : u"AS%1-AS%2"_s.arg(first).arg(last);
        break;
    }
    default:
        break;
    }

    const Value registrant = findRegistrant(member(o, "entities"), 0);
    r.hasRegistrant = exists(registrant);
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

} // namespace

bool isPlaceholder(const QString& value)
{
    static const QStringList marks{u"redacted"_s,    u"privacy"_s,    u"withheld"_s,       u"not disclosed"_s,
                                   u"undisclosed"_s, u"non-public"_s, u"data protected"_s, u"not available"_s,
                                   u"gdpr"_s,        u"masked"_s};
    if (value.isEmpty())
        return false;
    for (const QString& mark : marks)
        if (value.contains(mark, Qt::CaseInsensitive))
            return true;
    return false;
}

Reading readAnswer(const QByteArray& body, const QHostAddress& asked)
{
    Reading r;
    if (body.size() > MaxAnswerBytes) {
        r.problem = u"answer larger than %1 bytes"_s.arg(MaxAnswerBytes);
        return r;
    }
    // The parser keeps its buffers from one answer to the next; a thread of its own needs its own.
    thread_local simdjson::dom::parser parser;
    element root;
    const simdjson::error_code error = parser.parse(body.constData(), size_t(body.size()), true).get(root);
    if (error != simdjson::SUCCESS) {
        r.problem = error == simdjson::DEPTH_ERROR
                        ? u"answer nested too deeply"_s
                        : u"answer is not JSON (%1)"_s.arg(QString::fromUtf8(simdjson::error_message(error)));
        return r;
    }
    if (root.type() != simdjson::dom::element_type::OBJECT) {
        r.problem = u"answer is not a JSON object"_s;
        return r;
    }
    return read(Value(element(root)), asked);
}

} // namespace rdap
