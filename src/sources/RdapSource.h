#pragma once

#include "sources/Source.h"

#include <QHash>
#include <QHostAddress>
#include <QString>

#include <memory>

namespace lookup {
class PageLoader;
} // namespace lookup

namespace rdap {
class BootstrapStore;
} // namespace rdap

namespace sources {

// The registries' own answers over RDAP: an IP address at the regional registry that serves its block
// ("ip/<address>"), an AS number ("AS64500", "autnum/<n>") likewise, a name's registered domain at its
// top-level domain's registry ("domain/<registered domain>") and, when that registry keeps no registrant,
// once more at the registrar it links to. The code is the network's or AS number's "country", else the registrant's
// address; a registrant whose country is withheld gives no code. The answer's source is "rdap", its network the block,
// name or AS range the answer covers, its handle the registry object's.
class RdapSource : public Source
{
public:
    static const QByteArray Accept; // application/rdap+json

    // databasePath: the dbCountries.mdb whose names turn a registrant's country name into a code.
    RdapSource(lookup::PageLoader& loader, std::unique_ptr<rdap::BootstrapStore> bootstrap,
               const QString& databasePath);
    ~RdapSource() override;

    QString name() const override;
    bool isRemote() const override { return true; }
    std::unique_ptr<SourceRequest> ask(const Query& query) override;

    // What an entry asks for: an address (with its prefix length, when it names a block), an AS number or
    // a registered domain (by the Public Suffix List) in its ASCII form. Kind None when it is none of these.
    struct Question
    {
        enum class Kind { None, Address, Autnum, Domain };
        Kind kind = Kind::None;
        QHostAddress address;
        int prefixLength = -1;
        quint32 autnum = 0;
        QString domain;
        QString path; // "ip/192.0.2.1", "autnum/64500", "domain/example.com"
    };
    static Question questionFor(const QString& cleanedEntry);

private:
    friend class RdapRequest;
    lookup::PageLoader& m_loader;
    std::unique_ptr<rdap::BootstrapStore> m_bootstrap;
    QString m_databasePath;
    // Registrants' country names already turned into codes: the same few names come back again and again.
    QHash<QString, QString> m_codeByName;
};

} // namespace sources
