#include "sources/NetworkBlock.h"

#include <array>

using namespace Qt::StringLiterals;

namespace sources {

namespace {

std::optional<NetworkBlock> parsePrefix(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    const QStringView addressText = text.left(slash).trimmed();
    bool ok = false;
    const int length = text.sliced(slash + 1).trimmed().toInt(&ok);
    if (!ok || length < 0)
        return std::nullopt;
    std::optional<WideAddress> address;
    int bits = length;
    if (addressText.contains(u':')) {
        address = WideAddress::parse(addressText);
    } else {
        if (length > 32)
            return std::nullopt;
        // "200.160/12": the parts left out are zero.
        QString full = addressText.toString();
        for (qsizetype dots = addressText.count(u'.'); dots < 3; ++dots)
            full += u".0"_s;
        address = WideAddress::parse(full);
        bits += WideAddress::V4Offset;
    }
    if (!address || bits > WideAddress::Bits)
        return std::nullopt;
    const WideAddress first = address->masked(bits);
    return NetworkBlock{first, first.withHostBitsSet(bits)};
}

// The first word of a text (a range's end may be followed by a remark).
QStringView firstWord(QStringView text)
{
    text = text.trimmed();
    qsizetype end = 0;
    while (end < text.size() && !text[end].isSpace())
        ++end;
    return text.left(end);
}

std::optional<NetworkBlock> parseRange(QStringView text)
{
    // Neither family's text holds a '-', so the first one separates the two ends.
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0)
        return std::nullopt;
    const std::optional<WideAddress> first = WideAddress::parse(text.left(dash).trimmed());
    const std::optional<WideAddress> last = WideAddress::parse(firstWord(text.sliced(dash + 1)));
    if (!first || !last || first->isV4() != last->isV4() || *last < *first)
        return std::nullopt;
    return NetworkBlock{*first, *last};
}

enum class Key { None, RangeOrPrefix, Prefixes };

Key keyOf(QStringView name)
{
    static const std::array<std::pair<QStringView, Key>, 6> keys{{{u"inetnum", Key::RangeOrPrefix},
                                                                  {u"inet6num", Key::RangeOrPrefix},
                                                                  {u"netrange", Key::RangeOrPrefix},
                                                                  {u"cidr", Key::Prefixes},
                                                                  {u"route", Key::Prefixes},
                                                                  {u"route6", Key::Prefixes}}};
    for (const auto& [key, kind] : keys)
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return kind;
    return Key::None;
}

} // namespace

std::pair<quint64, quint64> NetworkBlock::span() const
{
    const quint64 low = last.low - first.low;
    const quint64 borrow = last.low < first.low ? 1 : 0;
    return {last.high - first.high - borrow, low};
}

QString NetworkBlock::text() const
{
    const int length = coverLength();
    if (first.masked(length) == first && first.withHostBitsSet(length) == last)
        return u"%1/%2"_s.arg(first.toString()).arg(first.isV4() ? length - WideAddress::V4Offset : length);
    return first.toString() + u" - "_s + last.toString();
}

std::optional<NetworkBlock> NetworkBlock::parse(QStringView text)
{
    text = text.trimmed();
    return text.contains(u'/') ? parsePrefix(text) : parseRange(text);
}

std::optional<NetworkBlock> NetworkBlock::fromRecord(QStringView recordText, WideAddress address)
{
    std::optional<NetworkBlock> best;
    const auto consider = [&](const std::optional<NetworkBlock>& block) {
        if (block && block->contains(address) && (!best || block->span() < best->span()))
            best = block;
    };
    for (QStringView line : recordText.tokenize(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        const Key key = keyOf(line.left(colon).trimmed());
        if (key == Key::None)
            continue;
        const QStringView value = line.sliced(colon + 1).trimmed();
        if (key == Key::RangeOrPrefix && !value.contains(u'/')) {
            consider(parseRange(value));
            continue;
        }
        // "192.0.2.0/24, 198.51.100.0/23": commas or blanks between the prefixes.
        qsizetype start = 0;
        for (qsizetype i = 0; i <= value.size(); ++i) {
            if (i < value.size() && value[i] != u',' && !value[i].isSpace())
                continue;
            if (i > start)
                consider(parsePrefix(value.sliced(start, i - start)));
            start = i + 1;
        }
    }
    return best;
}

} // namespace sources
