#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Strict readers for what the batch tool writes, so that tests can read its output back: anything
// outside the grammar is refused (std::nullopt), never guessed at.
namespace strict {

// RFC 4180: records end in CR LF (the last one too), fields are separated by commas; a field holding a
// comma, quote, CR or LF is quoted and its quotes doubled. A quote inside an unquoted field, a lone CR
// or LF outside quotes, or text after a closing quote is an error.
inline std::optional<QList<QStringList>> parseCsv(const QByteArray& text)
{
    QList<QStringList> records;
    QStringList record;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (n == 0)
        return records;
    while (true) {
        QByteArray field;
        if (i < n && text[i] == '"') {
            ++i;
            while (true) {
                if (i >= n)
                    return std::nullopt; // unterminated quote
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                if (text[i] == '"')
                    return std::nullopt;
                field += text[i++];
            }
        }
        record.append(QString::fromUtf8(field));
        if (i < n && text[i] == ',') {
            ++i;
            continue;
        }
        if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n') {
            i += 2;
            records.append(record);
            record.clear();
            if (i == n)
                return records;
            continue;
        }
        return std::nullopt; // end without CR LF, a lone CR or LF, or text after a closing quote
    }
}

// One JSON string at text[pos] (RFC 8259): moves pos past it. Control characters must be escaped, the
// escapes are the eight short ones and \uXXXX, surrogates must pair up.
inline std::optional<QString> parseJsonString(const QByteArray& text, qsizetype& pos)
{
    auto hex4 = [&](qsizetype at) -> std::optional<char16_t> {
        if (at + 4 > text.size())
            return std::nullopt;
        char16_t value = 0;
        for (qsizetype k = at; k < at + 4; ++k) {
            const char c = text[k];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return std::nullopt;
            value = char16_t(value * 16 + digit);
        }
        return value;
    };
    if (pos >= text.size() || text[pos] != '"')
        return std::nullopt;
    ++pos;
    QByteArray utf8; // raw bytes between escapes
    QString out;
    while (true) {
        if (pos >= text.size())
            return std::nullopt;
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c == '"') {
            ++pos;
            out += QString::fromUtf8(utf8);
            return out;
        }
        if (c < 0x20)
            return std::nullopt;
        if (c != '\\') {
            utf8 += char(c);
            ++pos;
            continue;
        }
        out += QString::fromUtf8(utf8);
        utf8.clear();
        if (pos + 1 >= text.size())
            return std::nullopt;
        const char e = text[pos + 1];
        pos += 2;
        switch (e) {
        case '"':
            out += u'"';
            break;
        case '\\':
            out += u'\\';
            break;
        case '/':
            out += u'/';
            break;
        case 'b':
            out += u'\b';
            break;
        case 'f':
            out += u'\f';
            break;
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        case 'u': {
            const auto unit = hex4(pos);
            if (!unit)
                return std::nullopt;
            pos += 4;
            if (QChar::isHighSurrogate(*unit)) {
                if (pos + 6 > text.size() || text[pos] != '\\' || text[pos + 1] != 'u')
                    return std::nullopt;
                const auto low = hex4(pos + 2);
                if (!low || !QChar::isLowSurrogate(*low))
                    return std::nullopt;
                pos += 6;
                out += QChar(*unit);
                out += QChar(*low);
            } else if (QChar::isLowSurrogate(*unit)) {
                return std::nullopt;
            } else {
                out += QChar(*unit);
            }
            break;
        }
        default:
            return std::nullopt;
        }
    }
}

// One line of JSON Lines holding a flat object of string members, keys in the order given.
inline std::optional<QStringList> parseJsonObjectLine(const QByteArray& line, const QStringList& keys)
{
    qsizetype pos = 0;
    if (line.isEmpty() || line[pos++] != '{')
        return std::nullopt;
    QStringList values;
    for (qsizetype k = 0; k < keys.size(); ++k) {
        if (k > 0 && (pos >= line.size() || line[pos++] != ','))
            return std::nullopt;
        const auto key = parseJsonString(line, pos);
        if (!key || *key != keys[k] || pos >= line.size() || line[pos++] != ':')
            return std::nullopt;
        // The literals come back as their own text.
        bool literal = false;
        for (const char* word : {"true", "false", "null"}) {
            if (line.mid(pos).startsWith(word)) {
                values.append(QString::fromLatin1(word));
                pos += qsizetype(qstrlen(word));
                literal = true;
                break;
            }
        }
        if (literal)
            continue;
        const auto value = parseJsonString(line, pos);
        if (!value)
            return std::nullopt;
        values.append(*value);
    }
    if (pos + 1 != line.size() || line[pos] != '}')
        return std::nullopt;
    return values;
}

} // namespace strict
