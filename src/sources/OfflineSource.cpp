#include "sources/OfflineSource.h"

#include "sources/IpAddress.h"

using namespace Qt::StringLiterals;

namespace sources {

namespace {

class OfflineRequest : public SourceRequest
{
public:
    explicit OfflineRequest(Answer answer) { finish(std::move(answer)); }
};

// The table's code for an address, and its range as "first - last" when `network` is given.
uint16_t lookUp(const OfflineTable& table, const IpAddress& address, QString* network)
{
    uint32_t v4 = address.v4;
    if (address.v6) {
        const std::optional<uint32_t> wrapped = address.wrappedIpv4();
        if (wrapped) {
            v4 = *wrapped;
        } else {
            const OfflineTable::Hit6 hit = table.find(address.high, address.low);
            const std::optional<uint32_t> sixToFour = hit.code == 0 ? address.sixToFourIpv4() : std::nullopt;
            if (!sixToFour) {
                if (network)
                    *network = ipv6Text(hit.firstHigh, hit.firstLow) + u" - "_s + ipv6Text(hit.lastHigh, hit.lastLow);
                return hit.code;
            }
            v4 = *sixToFour;
        }
    }
    const OfflineTable::Hit4 hit = table.find(v4);
    if (network)
        *network = ipv4Text(hit.first) + u" - "_s + ipv4Text(hit.last);
    return hit.code;
}

} // namespace

OfflineSource::OfflineSource(std::shared_ptr<const OfflineTable> table) : m_table(std::move(table)) {}

QString OfflineSource::name() const
{
    return u"offline"_s;
}

std::optional<Answer> OfflineSource::answerNow(const Query& query)
{
    return answer(query.cleaned.normalised);
}

std::unique_ptr<SourceRequest> OfflineSource::ask(const Query& query)
{
    return std::make_unique<OfflineRequest>(answer(query.cleaned.normalised));
}

Answer OfflineSource::answer(QStringView entry)
{
    Answer answer;
    const std::optional<IpAddress> address = IpAddress::parse(entry);
    if (!address) {
        answer.notes.append(u"offline table: not an IPv4 or IPv6 address (the table holds address ranges, "
                            u"not names or AS numbers)"_s);
        return answer;
    }
    QString network;
    const uint16_t code = lookUp(*m_table, *address, &network);
    if (code == 0) {
        answer.notes.append(
            u"offline table: no registry block holds %1 (private, reserved or not allocated)"_s.arg(network));
        return answer;
    }
    answer.found = true;
    answer.code = text(code);
    answer.source = name();
    answer.network = std::move(network);
    return answer;
}

QString OfflineSource::codeOf(QStringView entry, bool* isAddress)
{
    const std::optional<IpAddress> address = IpAddress::parse(entry);
    if (isAddress)
        *isAddress = address.has_value();
    const uint16_t code = address ? lookUp(*m_table, *address, nullptr) : 0;
    return code == 0 ? QString() : text(code);
}

const QString& OfflineSource::text(uint16_t code)
{
    // The table holds capitals only (it is checked when opened).
    QString& known = m_codes[size_t((code & 0xff) - 'A') * 26 + size_t((code >> 8) - 'A')];
    if (known.isNull())
        known = OfflineTable::codeText(code);
    return known;
}

} // namespace sources
