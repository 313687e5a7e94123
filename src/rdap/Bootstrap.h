#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUrl>

#include <array>
#include <vector>

class QHostAddress;

namespace rdap {

// The four registries of RDAP services that IANA publishes (RFC 9224).
enum class Registry { Ipv4, Ipv6, Asn, Dns };
constexpr std::array<Registry, 4> AllRegistries{Registry::Ipv4, Registry::Ipv6, Registry::Asn, Registry::Dns};
// "ipv4", "ipv6", "asn", "dns": the names of IANA's files without ".json".
QString registryName(Registry registry);
// The address as 16 bytes in network order, IPv4 in the first four; zeros for the null address.
std::array<quint8, 16> addressBytes(const QHostAddress& address);

// Which RDAP service answers for an address, an AS number or a domain name. Built from bootstrap files of
// RFC 9224's format; a file may hold entries of any of the four kinds, told apart by their form (an IPv6
// prefix has a colon, an IPv4 prefix dots and digits, an AS range digits and a dash, anything else is a
// domain label), so that one file can point every kind of question at a private or mirrored service.
class Bootstrap
{
public:
    // What one file held: its publication time (invalid when it has none) and the kinds it covers.
    struct FileInfo
    {
        QDateTime publication;
        bool has[4] = {false, false, false, false};
        bool covers(Registry r) const { return has[int(r)]; }
    };

    // Checks a bootstrap file whole and, when it is good, adds its services. A file that is not JSON,
    // lacks "services", or holds an entry or URL of no known form is refused as a whole: nothing of it is
    // added and *error says why.
    bool add(const QByteArray& json, FileInfo* info = nullptr, QString* error = nullptr);
    bool covers(Registry registry) const;

    // The base URL (ending in "/") of the service for the question, empty when no entry holds it. The
    // longest matching prefix or label suffix wins; among a service's URLs, HTTPS is preferred.
    QUrl serviceForAddress(const QHostAddress& address) const;
    QUrl serviceForAsn(quint32 number) const;
    QUrl serviceForDomain(const QString& name) const;

private:
    struct Prefix
    {
        std::array<quint8, 16> bytes{};
        int length = 0;
        int service = 0;
    };
    struct AsRange
    {
        quint32 first = 0;
        quint32 last = 0;
        int service = 0;
    };

    QUrl serviceForBytes(const std::vector<Prefix>& prefixes, const quint8* bytes) const;
    int addService(const QUrl& url);

    std::vector<QUrl> m_services;
    std::vector<Prefix> m_ipv4;
    std::vector<Prefix> m_ipv6;
    std::vector<AsRange> m_asn;
    QHash<QString, int> m_dns; // lower-case label suffix ("com", "co.uk") -> service
};

} // namespace rdap
