#include "sources/SourceChain.h"

namespace sources {

// The question that waits for an asynchronous source and goes on down the chain after it.
class ChainRequest : public SourceRequest
{
public:
    ChainRequest(SourceChain& chain, const Query& query, size_t index, Answer sofar,
                 std::unique_ptr<SourceRequest> pending)
        : m_chain(chain), m_query(query), m_index(index), m_sofar(std::move(sofar))
    {
        wait(std::move(pending));
    }

private:
    void wait(std::unique_ptr<SourceRequest> pending)
    {
        m_pending = std::move(pending);
        connect(m_pending.get(), &SourceRequest::finished, this, &ChainRequest::onFinished);
    }

    void onFinished()
    {
        Answer next = m_pending->answer();
        m_pending.release()->deleteLater(); // we are inside its signal
        SourceChain::combine(m_sofar, std::move(next));
        ++m_index;
        if (m_sofar.hasCode()) {
            finish(std::move(m_sofar));
            return;
        }
        std::unique_ptr<SourceRequest> pending;
        if (m_chain.walk(m_query, m_index, m_sofar, pending))
            finish(std::move(m_sofar));
        else
            wait(std::move(pending));
    }

    SourceChain& m_chain;
    Query m_query;
    size_t m_index;
    Answer m_sofar;
    std::unique_ptr<SourceRequest> m_pending;
};

SourceChain::SourceChain(std::vector<Source*> sources) : m_sources(std::move(sources)) {}

void SourceChain::combine(Answer& sofar, Answer next)
{
    QStringList notes = std::move(sofar.notes);
    notes += next.notes;
    // A code wins; else the first accepted empty code stays; else the latest failure (with every note).
    if (next.hasCode() || (!sofar.found && next.found) || !sofar.found)
        sofar = std::move(next);
    sofar.notes = std::move(notes);
}

bool SourceChain::walk(const Query& query, size_t& index, Answer& sofar, std::unique_ptr<SourceRequest>& pending)
{
    for (; index < m_sources.size(); ++index) {
        Source* source = m_sources[index];
        std::optional<Answer> now = source->answerNow(query);
        if (!now) {
            pending = source->ask(query);
            return false;
        }
        combine(sofar, std::move(*now));
        if (sofar.hasCode())
            return true;
    }
    return true;
}

std::optional<Answer> SourceChain::resolve(const Query& query, std::unique_ptr<SourceRequest>* request)
{
    size_t index = 0;
    Answer sofar;
    std::unique_ptr<SourceRequest> pending;
    if (walk(query, index, sofar, pending))
        return sofar;
    *request = std::make_unique<ChainRequest>(*this, query, index, std::move(sofar), std::move(pending));
    return std::nullopt;
}

} // namespace sources
