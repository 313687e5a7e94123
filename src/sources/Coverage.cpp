#include "sources/Coverage.h"

#include "sources/NetworkBlock.h"

#include <libpsl.h>

namespace sources {

namespace {

// The list is read once; lookups in it do not change it and may come from any thread.
const psl_ctx_t* suffixList()
{
    static const struct Holder
    {
        psl_ctx_t* list = psl_latest(nullptr);
        ~Holder() { psl_free(list); }
    } holder;
    return holder.list ? holder.list : psl_builtin();
}

// Letters, digits, '-' and '_' in labels of at least one character; the last label is not a number
// (that would be an address, or part of one).
bool isHostName(QStringView name)
{
    qsizetype labelStart = 0;
    bool allDigits = true;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == u'.') {
            if (i == labelStart)
                return false;
            labelStart = i + 1;
            if (i < name.size())
                allDigits = true;
            continue;
        }
        const QChar c = name[i];
        if (!c.isLetterOrNumber() && c != u'-' && c != u'_')
            return false;
        if (c < u'0' || c > u'9')
            allDigits = false;
    }
    return !allDigits;
}

} // namespace

QString Coverage::registeredDomain(const QString& name)
{
    QString host = name.toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    if (!isHostName(host))
        return {};
    const QByteArray utf8 = host.toUtf8();
    const char* domain = psl_registrable_domain(suffixList(), utf8.constData());
    return domain ? QString::fromUtf8(domain) : QString();
}

Coverage Coverage::of(const QString& entry)
{
    Coverage coverage;
    if (const std::optional<WideAddress> address = WideAddress::parse(entry)) {
        coverage.kind = Kind::Address;
        coverage.address = *address;
        return coverage;
    }
    coverage.domain = registeredDomain(entry);
    if (!coverage.domain.isEmpty())
        coverage.kind = Kind::Domain;
    return coverage;
}

QString coveredNetwork(const QString& entry, QStringView recordText)
{
    const Coverage coverage = Coverage::of(entry);
    switch (coverage.kind) {
    case Coverage::Kind::Address:
        if (const std::optional<NetworkBlock> block = NetworkBlock::fromRecord(recordText, coverage.address))
            return block->text();
        return {};
    case Coverage::Kind::Domain:
        return coverage.domain;
    case Coverage::Kind::Exact:
        break;
    }
    return {};
}

} // namespace sources
