#include "sources/Source.h"

namespace sources {

void SourceRequest::finish(Answer answer)
{
    if (m_finished)
        return;
    m_finished = true;
    m_answer = std::move(answer);
    QMetaObject::invokeMethod(this, &SourceRequest::finished, Qt::QueuedConnection);
}

} // namespace sources
