#pragma once

#include "sources/Answer.h"

#include <QObject>

#include <memory>
#include <optional>

namespace sources {

// One asynchronous question to a source. finished() is always emitted from the event loop, never from
// inside Source::ask(), so the caller connects after ask(). Deleting the request abandons it.
class SourceRequest : public QObject
{
    Q_OBJECT

public:
    explicit SourceRequest(QObject* parent = nullptr) : QObject(parent) {}

    bool isFinished() const { return m_finished; }
    const Answer& answer() const { return m_answer; }

signals:
    void finished();

protected:
    // Sets the answer and emits finished() from the event loop; later calls are ignored.
    void finish(Answer answer);

private:
    Answer m_answer;
    bool m_finished = false;
};

// "Give me the country code of this entry". Sources that can answer at once (a local table, a cache)
// do so through answerNow(), which costs no object and no event-loop pass; the others through ask().
class Source
{
public:
    virtual ~Source() = default;

    // The name used on the command line: "web", "offline", "rdap".
    virtual QString name() const = 0;
    // True when asking sends requests over the network.
    virtual bool isRemote() const = 0;

    // The answer when it can be given without waiting; nullopt means: use ask().
    virtual std::optional<Answer> answerNow(const Query& query)
    {
        Q_UNUSED(query);
        return std::nullopt;
    }
    virtual std::unique_ptr<SourceRequest> ask(const Query& query) = 0;
};

} // namespace sources
