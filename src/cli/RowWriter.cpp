#include "cli/RowWriter.h"

using namespace Qt::StringLiterals;

namespace cli {

QByteArray CsvWriter::field(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    bool quote = false;
    for (const char c : bytes)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    if (!quote)
        return bytes;
    QByteArray out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

QByteArray CsvWriter::begin()
{
    return "IP Address(es),Status,Country,Country Code,Continent\r\n";
}

QByteArray CsvWriter::row(const Row& r)
{
    return field(r.address) + ',' + field(r.status) + ',' + field(r.country) + ',' + field(r.code) + ',' +
           field(r.continent) + "\r\n";
}

QByteArray JsonLinesWriter::string(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QByteArray JsonLinesWriter::row(const Row& r)
{
    return "{\"address\":" + string(r.address) + ",\"status\":" + string(r.status) +
           ",\"country\":" + string(r.country) + ",\"country_code\":" + string(r.code) +
           ",\"continent\":" + string(r.continent) + "}\n";
}

} // namespace cli
