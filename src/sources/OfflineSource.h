#pragma once

#include "sources/OfflineTable.h"
#include "sources/Source.h"

#include <QStringView>

#include <array>
#include <memory>

namespace sources {

// The offline country table as a source: answers at once, asks no one. IPv4 and IPv6 addresses are
// looked up (IPv4-mapped and NAT64 addresses as the IPv4 host they wrap; a 6to4 address by its own
// range when the table has one, else by the IPv4 address it carries); any other entry fails with the
// reason in the notes, never a guess. The answer's network is the table's range, "first - last".
class OfflineSource : public Source
{
public:
    explicit OfflineSource(std::shared_ptr<const OfflineTable> table);

    QString name() const override;
    bool isRemote() const override { return false; }
    std::optional<Answer> answerNow(const Query& query) override;
    std::unique_ptr<SourceRequest> ask(const Query& query) override;

    // The answer for a cleaned entry.
    Answer answer(QStringView entry);
    // Just the table's code for an entry: empty when it is no address (*isAddress false) or when no
    // range holds it.
    QString codeOf(QStringView entry, bool* isAddress = nullptr);

    const OfflineTable& table() const { return *m_table; }

private:
    const QString& text(uint16_t code);

    std::shared_ptr<const OfflineTable> m_table;
    // The code texts made so far, so that an answer shares one instead of allocating its own.
    std::array<QString, size_t(26) * 26> m_codes;
};

} // namespace sources
