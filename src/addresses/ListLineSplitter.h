#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <limits>

namespace addresses {

// Cuts list text into entries by the list-file rules: a CR ends a line, a CR directly followed by an
// LF counts as one break, and an LF inside a line separates entries as well. The end of the text ends
// the last entry, but only when something began after the last CR: "a\r\n" is one entry, "a\n" two
// ("a" and ""), "" none. Nothing is trimmed or skipped.
//
// The text may arrive in pieces of any size; a CR LF split between two pieces still counts as one
// break, and an entry split between them comes out whole.
class ListLineSplitter
{
public:
    static constexpr qsizetype NoLimit = std::numeric_limits<qsizetype>::max();

    // Appends the entries that text completes to entries, stopping once entries holds maxEntries.
    // Returns how many characters of text were used; the caller feeds the rest later.
    qsizetype feed(QStringView text, QStringList& entries, qsizetype maxEntries = NoLimit);
    // The text has ended: appends the last entry, if one began.
    void finish(QStringList& entries);

    // Length of the entry that is still open; a single endless line keeps growing here.
    qsizetype pendingLength() const { return m_pending.size(); }

    static QStringList split(QStringView text);

private:
    QString m_pending;
    // Something began after the last CR (text or an LF), so the end of the text completes an entry.
    bool m_open = false;
    // The last character was a CR: an LF that follows it belongs to the same break.
    bool m_afterCr = false;
};

} // namespace addresses
