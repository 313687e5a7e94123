#include "sources/RdapSource.h"

#include "core/Failure.h"
#include "lookup/CountryDatabase.h"
#include "lookup/PageLoader.h"
#include "rdap/BootstrapStore.h"
#include "rdap/RdapReader.h"
#include "sources/Coverage.h"
#include "sources/IpAddress.h"

#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace sources {

const QByteArray RdapSource::Accept = "application/rdap+json";

namespace {

QString describe(const rdap::Registry registry)
{
    switch (registry) {
    case rdap::Registry::Ipv4:
        return u"IPv4 addresses"_s;
    case rdap::Registry::Ipv6:
        return u"IPv6 addresses"_s;
    case rdap::Registry::Asn:
        return u"AS numbers"_s;
    case rdap::Registry::Dns:
        return u"domain names"_s;
    }
    return {};
}

} // namespace

// One question: the registry's answer and, for a thin registry, the registrar's after it.
class RdapRequest : public SourceRequest
{
public:
    RdapRequest(RdapSource& source, const Query& query)
        : m_source(source), m_question(RdapSource::questionFor(query.cleaned.normalised))
    {
        if (m_question.kind == RdapSource::Question::Kind::None) {
            fail(u"not an IP address, AS number or domain name"_s);
            return;
        }
        rdap::BootstrapStore& store = *m_source.m_bootstrap;
        if (!store.covers(registry()) && store.isRefreshing()) {
            // The first name asked for while IANA's domain registry is on its way waits for it.
            connect(&store, &rdap::BootstrapStore::refreshed, this, &RdapRequest::start, Qt::SingleShotConnection);
            return;
        }
        start();
    }

private:
    rdap::Registry registry() const
    {
        switch (m_question.kind) {
        case RdapSource::Question::Kind::Address:
            return m_question.address.protocol() == QAbstractSocket::IPv4Protocol ? rdap::Registry::Ipv4
                                                                                  : rdap::Registry::Ipv6;
        case RdapSource::Question::Kind::Autnum:
            return rdap::Registry::Asn;
        default:
            return rdap::Registry::Dns;
        }
    }

    void start()
    {
        const rdap::BootstrapStore& store = *m_source.m_bootstrap;
        if (!store.covers(registry())) {
            m_answer.notes += store.refreshNotes();
            fail(u"no RDAP bootstrap registry for %1 is at hand"_s.arg(describe(registry())));
            return;
        }
        const rdap::Bootstrap& bootstrap = store.bootstrap();
        QUrl base;
        switch (m_question.kind) {
        case RdapSource::Question::Kind::Address:
            base = bootstrap.serviceForAddress(m_question.address);
            break;
        case RdapSource::Question::Kind::Autnum:
            base = bootstrap.serviceForAsn(m_question.autnum);
            break;
        default:
            base = bootstrap.serviceForDomain(m_question.domain);
            break;
        }
        if (base.isEmpty()) {
            fail(u"no RDAP service is known for %1"_s.arg(m_question.path.section(u'/', 1)));
            return;
        }
        load(base.resolved(QUrl(m_question.path)));
    }

    void load(const QUrl& address)
    {
        m_request = m_source.m_loader.load(address, lookup::LoadOptions{RdapSource::Accept});
        connect(m_request.get(), &lookup::PageRequest::completed, this, &RdapRequest::onPage);
    }

    void onPage()
    {
        const lookup::Page page = m_request->page();
        m_request.release()->deleteLater(); // we are inside its signal
        const QString host = page.address.host();
        if (!page.loaded) {
            fail(u"%1: %2"_s.arg(host, page.error));
            return;
        }
        if (page.httpStatus == 404) {
            fail(u"%1: no such object (404)"_s.arg(host));
            return;
        }
        if (page.httpStatus == 429) {
            fail(u"%1: too many requests (429)"_s.arg(host));
            return;
        }
        if (page.httpStatus != 200) {
            fail(u"%1: HTTP status %2"_s.arg(host).arg(page.httpStatus));
            return;
        }
        const rdap::Reading reading = rdap::readAnswer(page.body, m_question.address);
        if (!reading.ok) {
            fail(u"%1: %2"_s.arg(host, reading.problem));
            return;
        }
        if (reading.kind == rdap::Reading::Kind::Error) {
            fail(u"%1: error %2 %3"_s.arg(host).arg(reading.errorCode).arg(reading.errorTitle).trimmed());
            return;
        }
        // The registry's handle and block stand; a registrar's answer adds only what the registry left out.
        if (m_answer.handle.isEmpty())
            m_answer.handle = reading.handle;
        if (m_answer.network.isEmpty())
            m_answer.network = reading.network;

        if (!reading.country.isEmpty()) {
            succeed(reading.country);
            return;
        }
        if (reading.redacted) {
            fail(u"%1: the registrant's country is redacted"_s.arg(host));
            return;
        }
        if (!reading.countryName.isEmpty()) {
            QString& code = m_source.m_codeByName[reading.countryName];
            if (code.isEmpty()) {
                try {
                    code = lookup::LookupCountryCodeByName(m_source.m_databasePath, reading.countryName);
                } catch (const core::Failure& failure) {
                    fail(u"%1: %2"_s.arg(host, failure.description()));
                    return;
                }
            }
            if (code.isEmpty()) {
                fail(u"%1: the registrant's country \"%2\" is not a country name of dbCountries.mdb"_s.arg(
                    host, reading.countryName));
                return;
            }
            succeed(code);
            return;
        }
        if (!reading.hasRegistrant && !reading.related.isEmpty() && !m_followed) {
            m_followed = true;
            load(reading.related);
            return;
        }
        fail(reading.hasRegistrant ? u"%1: the registrant has no country"_s.arg(host)
                                   : u"%1: the answer has no country and no registrant"_s.arg(host));
    }

    void succeed(const QString& code)
    {
        m_answer.found = true;
        m_answer.code = code;
        m_answer.source = u"rdap"_s;
        finish(std::move(m_answer));
    }

    void fail(const QString& note)
    {
        m_answer.notes.append(note);
        finish(std::move(m_answer));
    }

    RdapSource& m_source;
    RdapSource::Question m_question;
    std::unique_ptr<lookup::PageRequest> m_request;
    bool m_followed = false;
    Answer m_answer;
};

RdapSource::RdapSource(lookup::PageLoader& loader, std::unique_ptr<rdap::BootstrapStore> bootstrap,
                       const QString& databasePath)
    : m_loader(loader), m_bootstrap(std::move(bootstrap)), m_databasePath(databasePath)
{
}

RdapSource::~RdapSource() = default;

QString RdapSource::name() const
{
    return u"rdap"_s;
}

std::unique_ptr<SourceRequest> RdapSource::ask(const Query& query)
{
    return std::make_unique<RdapRequest>(*this, query);
}

RdapSource::Question RdapSource::questionFor(const QString& cleanedEntry)
{
    Question q;
    const QString text = cleanedEntry.trimmed();
    if (text.isEmpty() || text.size() > 300)
        return q;

    const auto asAddress = [&q](const QString& addressText, int length) {
        // Only the dotted quad and RFC 4291's forms: QHostAddress alone would also take "1234", "10.1" or
        // "010.1.1.1" for IPv4 addresses and ask about an address the entry never named.
        QHostAddress address;
        if (!IpAddress::parse(addressText) || !address.setAddress(addressText.trimmed()))
            return false;
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (isV4)
            address = QHostAddress(v4); // ::ffff:192.0.2.1 is asked as the IPv4 address it is
        if (length > (address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128))
            return false;
        q.kind = Question::Kind::Address;
        q.address = address;
        q.prefixLength = length;
        q.path = u"ip/"_s + address.toString();
        if (length >= 0)
            q.path += u'/' + QString::number(length);
        return true;
    };

    // A block: "192.0.2.0/24", "2001:db8::/32".
    static const QRegularExpression block(u"^([^/]+)/([0-9]{1,3})$"_s);
    if (const QRegularExpressionMatch m = block.match(text); m.hasMatch()) {
        if (asAddress(m.captured(1), m.captured(2).toInt()))
            return q;
        if (IpAddress::parse(m.captured(1)))
            return {}; // an address with a prefix longer than it has bits
    }

    static const QRegularExpression asNumber(u"^[Aa][Ss]([0-9]{1,10})$"_s);
    if (const QRegularExpressionMatch m = asNumber.match(text); m.hasMatch()) {
        const qulonglong number = m.captured(1).toULongLong();
        if (number > 0xffffffffULL)
            return {};
        q.kind = Question::Kind::Autnum;
        q.autnum = quint32(number);
        q.path = u"autnum/"_s + QString::number(number);
        return q;
    }

    // The host of what may still be an address with a path, a query or a port: "[2001:db8::1]:443",
    // "192.0.2.1:8080/x", "shop.example:443/cart".
    QString host = text.section(u'/', 0, 0).section(u'?', 0, 0).section(u'#', 0, 0);
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return {};
        host = host.mid(1, close - 1);
    } else if (host.count(u':') == 1) {
        host = host.section(u':', 0, 0);
    }
    if (asAddress(host, -1))
        return q;

    while (host.endsWith(u'.'))
        host.chop(1);
    const QString ace = QString::fromLatin1(QUrl::toAce(host.toLower()));
    // Two labels at least, and a top-level label that is not all digits (that would be an address).
    static const QRegularExpression name(u"^(?:[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?\\.)+"
                                         u"(?=[a-z0-9-]*[a-z-])[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?$"_s);
    if (ace.isEmpty() || ace.size() > 253 || !name.match(ace).hasMatch())
        return {};
    // mail.example.co.uk is registered as example.co.uk, and only that is in the registry; a name that is
    // a public suffix itself is asked as it is (the registry will say it has no such domain).
    const QString registered = Coverage::registeredDomain(ace);
    q.kind = Question::Kind::Domain;
    q.domain = registered.isEmpty() ? ace : registered;
    q.path = u"domain/"_s + q.domain;
    return q;
}

} // namespace sources
