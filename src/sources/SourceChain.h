#pragma once

#include "sources/Source.h"

#include <vector>

namespace sources {

// Asks sources in order until one gives a code. When none does, the answer is the first that accepted
// an empty code (a completed row without a code, as the window shows it), else a failure that carries
// every source's notes.
class SourceChain
{
public:
    explicit SourceChain(std::vector<Source*> sources);

    // The answer, when every source that had to be asked answered at once; otherwise nullopt and
    // *request is the question still on its way (its answer is the chain's).
    std::optional<Answer> resolve(const Query& query, std::unique_ptr<SourceRequest>* request);

    const std::vector<Source*>& sources() const { return m_sources; }

    // How the answers so far combine; `next` is the answer of the source after them.
    static void combine(Answer& sofar, Answer next);

private:
    friend class ChainRequest;
    // Walks the chain from `index` while sources answer at once. Returns true when done.
    bool walk(const Query& query, size_t& index, Answer& sofar, std::unique_ptr<SourceRequest>& pending);

    std::vector<Source*> m_sources;
};

} // namespace sources
