#include "cache/CachedSource.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;
using sources::Answer;
using sources::Coverage;
using sources::NetworkBlock;
using sources::Query;

namespace cache {

// One question on its way to the wrapped source, and the requests that wait for its answer.
struct Flight
{
    Query query;
    Coverage coverage;
    QByteArray group; // the group whose entries may still join it; empty when none may
    std::unique_ptr<sources::SourceRequest> inner;
    CachedRequest* asker = nullptr;     // the request it was started for, while that waits
    std::vector<CachedRequest*> riders; // every request that waits for it, the asker included
};

class CachedRequest : public sources::SourceRequest
{
public:
    CachedRequest(CachedSource* source, const Query& query)
        : m_source(source), m_query(query), m_coverage(Coverage::of(query.cleaned.normalised))
    {
    }
    ~CachedRequest() override
    {
        if (m_source)
            m_source->leave(this);
    }

    void deliver(Answer answer) { finish(std::move(answer)); }

    CachedSource* m_source;
    Query m_query;
    Coverage m_coverage;
    Flight* m_flight = nullptr;
};

namespace {

// The entries that one answer on its way may cover: an address's /24 (IPv4) or /48 (IPv6), a name's
// registered domain, else the entry itself; and the entry's rule, which may change the answer.
QByteArray groupOf(const Query& query, const Coverage& coverage)
{
    QByteArray group(1, query.cleaned.wwwEntry ? 'w' : '-');
    switch (coverage.kind) {
    case Coverage::Kind::Address: {
        const int length = coverage.address.isV4() ? sources::WideAddress::V4Offset + 24 : 48;
        const std::array<unsigned char, 16> bytes = coverage.address.masked(length).bytes();
        group += 'a';
        group.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        break;
    }
    case Coverage::Kind::Domain:
        group += 'd' + coverage.domain.toUtf8();
        break;
    case Coverage::Kind::Exact:
        group += 'e' + query.cleaned.normalised.toUtf8();
        break;
    }
    return group;
}

QString domainKey(const Coverage& coverage)
{
    return u"d:"_s + coverage.domain;
}

QString entryKey(const Query& query)
{
    return u"e:"_s + query.cleaned.normalised;
}

} // namespace

CachedSource::CachedSource(std::unique_ptr<sources::Source> inner, std::shared_ptr<AnswerStore> store,
                           const CacheSettings& settings)
    : m_inner(std::move(inner)), m_store(std::move(store)), m_settings(settings), m_name(m_inner->name()),
      m_startedMs(QDateTime::currentMSecsSinceEpoch())
{
}

CachedSource::~CachedSource()
{
    for (CachedRequest* request : std::as_const(m_requests)) {
        request->m_source = nullptr;
        request->m_flight = nullptr;
    }
    m_flights.clear();
}

qint64 CachedSource::notBefore(qint64 nowMs, qint64 ageMs) const
{
    // No age at all: nothing stored counts, not even what was stored a moment ago.
    if (ageMs <= 0)
        return std::numeric_limits<qint64>::max();
    const qint64 oldest = nowMs - ageMs;
    return m_settings.refresh ? std::max(oldest, m_startedMs) : oldest;
}

const CachedSource::Segment* CachedSource::segmentAt(int www, sources::WideAddress address)
{
    const Segments& segments = m_segments[www];
    auto at = segments.upper_bound(address);
    if (at == segments.begin())
        return nullptr;
    --at;
    return address <= at->second.last ? &at->second : nullptr;
}

void CachedSource::addSegment(int www, const NetworkBlock& range, const Segment& segment)
{
    dropSegments(www, range);
    m_segments[www].emplace(range.first, segment);
}

void CachedSource::dropSegments(int www, const NetworkBlock& range)
{
    Segments& segments = m_segments[www];
    auto at = segments.upper_bound(range.first);
    if (at != segments.begin() && std::prev(at)->second.last >= range.first)
        --at;
    while (at != segments.end() && at->first <= range.last)
        at = segments.erase(at);
}

std::optional<Answer> CachedSource::answerNow(const Query& query)
{
    return find(query, Coverage::of(query.cleaned.normalised));
}

std::optional<Answer> CachedSource::find(const Query& query, const Coverage& coverage)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 fresh = notBefore(now, m_settings.maxAgeMs);
    const int www = query.cleaned.wwwEntry ? 1 : 0;

    if (coverage.kind == Coverage::Kind::Address) {
        if (const Segment* segment = segmentAt(www, coverage.address); segment && segment->storedAtMs >= fresh)
            return segment->answer;
        if (std::optional<AnswerStore::FoundBlock> found = m_store->findBlock(m_name, www, coverage.address, fresh)) {
            // The file said which addresses around this one the same block answers.
            addSegment(www, found->answers, Segment{found->answers.last, found->answer, found->storedAtMs});
            return found->answer;
        }
    }

    const auto keyed = [&](const QString& key, bool codesOnly) -> std::optional<Answer> {
        QHash<QString, AnswerStore::Found>& memo = m_keyed[www];
        auto known = memo.constFind(key);
        std::optional<AnswerStore::Found> found;
        if (known != memo.constEnd()) {
            found = *known;
        } else {
            found = m_store->findKey(m_name, www, key);
            if (found)
                memo.insert(key, *found);
        }
        if (!found)
            return std::nullopt;
        const bool hasCode = found->answer.hasCode();
        if (codesOnly && !hasCode)
            return std::nullopt;
        const qint64 failureAge = std::min(m_settings.failureAgeMs, m_settings.maxAgeMs);
        if (found->storedAtMs < (hasCode ? fresh : notBefore(now, failureAge)))
            return std::nullopt;
        if (!hasCode)
            found->answer.notes.append(
                u"kept from a lookup at %1; an entry without a code is asked again after %2 minutes"_s
                    .arg(QDateTime::fromMSecsSinceEpoch(found->storedAtMs).toString(u"HH:mm:ss"_s))
                    .arg(failureAge / 60000));
        return found->answer;
    };
    if (coverage.kind == Coverage::Kind::Domain)
        if (std::optional<Answer> answer = keyed(domainKey(coverage), true))
            return answer;
    return keyed(entryKey(query), false);
}

void CachedSource::remember(const Query& query, const Coverage& coverage, const Answer& answer)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int www = query.cleaned.wwwEntry ? 1 : 0;
    if (answer.hasCode() && coverage.kind == Coverage::Kind::Address) {
        const std::optional<NetworkBlock> block = NetworkBlock::parse(answer.network);
        if (block && block->contains(coverage.address)) {
            m_store->putBlock(m_name, www, *block, answer, now);
            // Ranges of this run that the new block meets may now have it as their innermost block.
            dropSegments(www, *block);
            return;
        }
    }
    // A name's answer covers its registration; any other answer, and every answer without a code,
    // only the entry itself.
    const QString key =
        answer.hasCode() && coverage.kind == Coverage::Kind::Domain ? domainKey(coverage) : entryKey(query);
    m_store->putKey(m_name, www, key, answer, now);
    AnswerStore::Found kept{answer, now};
    kept.answer.cached = true;
    m_keyed[www].insert(key, kept);
}

std::unique_ptr<sources::SourceRequest> CachedSource::ask(const Query& query)
{
    auto request = std::make_unique<CachedRequest>(this, query);
    m_requests.insert(request.get());
    admit(request.get());
    return request;
}

void CachedSource::admit(CachedRequest* request)
{
    const QByteArray group = groupOf(request->m_query, request->m_coverage);
    const bool alone = m_alone.contains(group);
    if (!alone)
        if (Flight* flight = m_joinable.value(group)) {
            flight->riders.push_back(request);
            request->m_flight = flight;
            return;
        }
    auto owned = std::make_unique<Flight>();
    Flight* flight = owned.get();
    flight->query = request->m_query;
    flight->coverage = request->m_coverage;
    flight->asker = request;
    flight->riders = {request};
    if (!alone) {
        flight->group = group;
        m_joinable.insert(group, flight);
    }
    m_flights.push_back(std::move(owned));
    request->m_flight = flight;
    ++m_asked;
    flight->inner = m_inner->ask(request->m_query);
    QObject::connect(flight->inner.get(), &sources::SourceRequest::finished, flight->inner.get(),
                     [this, flight] { land(flight); });
}

void CachedSource::land(Flight* flight)
{
    const Answer answer = flight->inner->answer();
    flight->inner.release()->deleteLater(); // we are inside its signal
    const Query query = flight->query;
    const Coverage coverage = flight->coverage;
    remember(query, coverage, answer);

    std::optional<NetworkBlock> block;
    if (answer.hasCode() && coverage.kind == Coverage::Kind::Address)
        block = NetworkBlock::parse(answer.network);
    const bool coversOthers = coverage.kind == Coverage::Kind::Exact || block ||
                              (answer.hasCode() && coverage.kind == Coverage::Kind::Domain);
    if (!flight->group.isEmpty() && !coversOthers)
        m_alone.insert(flight->group);

    const std::vector<CachedRequest*> riders = std::move(flight->riders);
    CachedRequest* const asker = flight->asker;
    endFlight(flight);
    for (CachedRequest* rider : riders)
        rider->m_flight = nullptr;

    const auto covers = [&](const CachedRequest* rider) {
        if (rider->m_query.cleaned.wwwEntry != query.cleaned.wwwEntry)
            return false;
        if (rider->m_query.cleaned.normalised == query.cleaned.normalised)
            return true;
        if (!answer.hasCode())
            return false;
        switch (rider->m_coverage.kind) {
        case Coverage::Kind::Address:
            return block && block->contains(rider->m_coverage.address);
        case Coverage::Kind::Domain:
            return coverage.kind == Coverage::Kind::Domain && coverage.domain == rider->m_coverage.domain;
        case Coverage::Kind::Exact:
            break;
        }
        return false;
    };
    for (CachedRequest* rider : riders) {
        if (rider == asker) {
            rider->deliver(answer);
        } else if (covers(rider)) {
            Answer taken = answer;
            taken.cached = true;
            rider->deliver(std::move(taken));
        } else if (std::optional<Answer> found = find(rider->m_query, rider->m_coverage)) {
            rider->deliver(std::move(*found));
        } else {
            admit(rider);
        }
    }
}

void CachedSource::leave(CachedRequest* request)
{
    m_requests.remove(request);
    Flight* flight = request->m_flight;
    if (!flight)
        return;
    std::erase(flight->riders, request);
    if (flight->asker == request)
        flight->asker = nullptr;
    // Nobody waits for it any more: abandon the question.
    if (flight->riders.empty())
        endFlight(flight);
}

void CachedSource::endFlight(Flight* flight)
{
    if (!flight->group.isEmpty() && m_joinable.value(flight->group) == flight)
        m_joinable.remove(flight->group);
    std::erase_if(m_flights, [flight](const std::unique_ptr<Flight>& f) { return f.get() == flight; });
}

} // namespace cache
