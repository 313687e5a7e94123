#include "addresses/ListLineSplitter.h"

namespace addresses {

qsizetype ListLineSplitter::feed(QStringView text, QStringList& entries, qsizetype maxEntries)
{
    const char16_t* chars = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = 0;
    if (m_afterCr && size > 0) {
        m_afterCr = false;
        if (chars[0] == u'\n')
            i = 1;
    }
    while (i < size && entries.size() < maxEntries) {
        qsizetype end = i;
        while (end < size && chars[end] != u'\r' && chars[end] != u'\n')
            ++end;
        if (end == size) {
            m_pending.append(text.sliced(i));
            m_open = true;
            return size;
        }
        if (m_pending.isEmpty()) {
            entries.append(text.sliced(i, end - i).toString());
        } else {
            m_pending.append(text.sliced(i, end - i));
            entries.append(std::move(m_pending));
            m_pending = QString();
        }
        i = end + 1;
        if (chars[end] == u'\n') {
            m_open = true;
        } else {
            m_open = false;
            if (i == size)
                m_afterCr = true;
            else if (chars[i] == u'\n')
                ++i;
        }
    }
    return i;
}

void ListLineSplitter::finish(QStringList& entries)
{
    if (m_open)
        entries.append(std::move(m_pending));
    m_pending = QString();
    m_open = false;
    m_afterCr = false;
}

QStringList ListLineSplitter::split(QStringView text)
{
    ListLineSplitter splitter;
    QStringList entries;
    splitter.feed(text, entries);
    splitter.finish(entries);
    return entries;
}

} // namespace addresses
