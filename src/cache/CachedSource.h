#pragma once

#include "cache/AnswerStore.h"
#include "sources/Coverage.h"
#include "sources/Source.h"

#include <QHash>
#include <QSet>

#include <map>
#include <memory>
#include <vector>

namespace cache {

struct CacheSettings
{
    static constexpr qint64 Day = qint64(24) * 3600 * 1000;
    static constexpr qint64 Hour = qint64(3600) * 1000;

    qint64 maxAgeMs = 7 * Day;  // answers older than this are asked again
    qint64 failureAgeMs = Hour; // the same for answers without a code
    bool refresh = false;       // only answers stored during this run count
};

class CachedRequest;
struct Flight;

// A remote source with a memory: answers it gave before, for this entry, for an address of the block its
// record named, or for a name of the same registered domain, come back at once (cached = true) while they
// are fresh; everything else is asked of the wrapped source and its answer stored.
//
// An entry that an answer on its way may cover (an address in the same /24 or /48, a name of the same
// registered domain, the same entry) waits for that answer instead of asking too. When the answer comes
// and covers it, the entry takes it; otherwise the entry asks for itself. A group whose first answer
// named no block at all does not wait again in this run: its source evidently names none.
class CachedSource : public sources::Source
{
public:
    CachedSource(std::unique_ptr<sources::Source> inner, std::shared_ptr<AnswerStore> store,
                 const CacheSettings& settings = {});
    ~CachedSource() override;

    QString name() const override { return m_name; }
    bool isRemote() const override { return m_inner->isRemote(); }
    std::optional<sources::Answer> answerNow(const sources::Query& query) override;
    std::unique_ptr<sources::SourceRequest> ask(const sources::Query& query) override;

    // Questions passed on to the wrapped source so far.
    int asked() const { return m_asked; }

private:
    friend class CachedRequest;
    struct Segment
    {
        sources::WideAddress last;
        sources::Answer answer;
        qint64 storedAtMs = 0;
    };

    using Segments = std::map<sources::WideAddress, Segment>;
    const Segment* segmentAt(int www, sources::WideAddress address);
    void addSegment(int www, const sources::NetworkBlock& range, const Segment& segment);
    void dropSegments(int www, const sources::NetworkBlock& range);

    std::optional<sources::Answer> find(const sources::Query& query, const sources::Coverage& coverage);
    void remember(const sources::Query& query, const sources::Coverage& coverage, const sources::Answer& answer);
    void admit(CachedRequest* request);
    void land(Flight* flight);
    void leave(CachedRequest* request);
    void endFlight(Flight* flight);
    qint64 notBefore(qint64 nowMs, qint64 ageMs) const;

    std::unique_ptr<sources::Source> m_inner;
    std::shared_ptr<AnswerStore> m_store;
    CacheSettings m_settings;
    QString m_name;
    qint64 m_startedMs;
    int m_asked = 0;

    // What this run found in the store or stored itself, so that the next entries of a busy block skip the
    // file: per rule (www or not), address ranges by their first address, each answered by one block.
    Segments m_segments[2];
    QHash<QString, AnswerStore::Found> m_keyed[2];

    std::vector<std::unique_ptr<Flight>> m_flights;
    QHash<QByteArray, Flight*> m_joinable; // the answer on its way that a group's entries wait for
    QSet<QByteArray> m_alone;              // groups whose entries no longer wait for each other
    QSet<CachedRequest*> m_requests;
};

} // namespace cache
