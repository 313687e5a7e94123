#include "cli/RowWriter.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace cli {

const std::vector<FieldInfo>& allFields()
{
    static const std::vector<FieldInfo> fields{
        {Field::Address, "address", "IP Address(es)"},
        {Field::Status, "status", "Status"},
        {Field::Country, "country", "Country"},
        {Field::CountryCode, "country_code", "Country Code"},
        {Field::Continent, "continent", "Continent"},
        {Field::Source, "source", "source"},
        {Field::Network, "network", "network"},
        {Field::Cached, "cached", "cached"},
        {Field::RdapHandle, "rdap_handle", "rdap_handle"},
        {Field::OfflineCountryCode, "offline_country_code", "offline_country_code"},
        {Field::Agrees, "agrees", "agrees"},
    };
    return fields;
}

const std::vector<Field>& defaultFields()
{
    static const std::vector<Field> fields{Field::Address, Field::Status, Field::Country, Field::CountryCode,
                                           Field::Continent};
    return fields;
}

const FieldInfo& fieldInfo(Field field)
{
    return allFields()[size_t(field)];
}

namespace {

QString flag(bool value)
{
    return value ? u"true"_s : u"false"_s;
}

} // namespace

QString fieldText(const Row& r, Field field)
{
    switch (field) {
    case Field::Address:
        return r.address;
    case Field::Status:
        return r.status;
    case Field::Country:
        return r.country;
    case Field::CountryCode:
        return r.code;
    case Field::Continent:
        return r.continent;
    case Field::Source:
        return r.source;
    case Field::Network:
        return r.network;
    case Field::Cached:
        return flag(r.cached);
    case Field::RdapHandle:
        return r.handle;
    case Field::OfflineCountryCode:
        return r.offlineCode;
    case Field::Agrees:
        return r.agrees ? flag(*r.agrees) : QString();
    }
    return {};
}

QByteArray CsvWriter::field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
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
    QByteArray out;
    for (const Field f : m_fields) {
        if (!out.isEmpty())
            out += ',';
        out += field(QString::fromUtf8(fieldInfo(f).header));
    }
    return out + "\r\n";
}

QByteArray CsvWriter::row(const Row& r)
{
    QByteArray out;
    append(r, out);
    return out;
}

void CsvWriter::append(const Row& r, QByteArray& out)
{
    bool first = true;
    for (const Field f : m_fields) {
        if (!first)
            out += ',';
        first = false;
        const QString text = fieldText(r, f);
        // Most fields are ASCII with nothing to quote: their characters are copied as they are.
        const QChar* chars = text.constData();
        const qsizetype size = text.size();
        qsizetype plain = 0;
        while (plain < size && chars[plain].unicode() < 0x80 && chars[plain] != u',' && chars[plain] != u'"' &&
               chars[plain] != u'\r' && chars[plain] != u'\n')
            ++plain;
        if (plain < size) {
            out += field(text);
            continue;
        }
        const qsizetype at = out.size();
        out.resize(at + size);
        char* to = out.data() + at;
        for (qsizetype i = 0; i < size; ++i)
            to[i] = char(chars[i].unicode());
    }
    out += "\r\n";
}

QByteArray TsvWriter::field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return bytes;
}

QByteArray TsvWriter::begin()
{
    QByteArray out;
    for (const Field f : m_fields) {
        if (!out.isEmpty())
            out += '\t';
        out += fieldInfo(f).header;
    }
    return out + '\n';
}

QByteArray TsvWriter::row(const Row& r)
{
    QByteArray out;
    bool first = true;
    for (const Field f : m_fields) {
        if (!first)
            out += '\t';
        first = false;
        out += field(fieldText(r, f));
    }
    return out + '\n';
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

JsonLinesWriter::JsonLinesWriter(const std::vector<Field>& extra)
    : m_fields(defaultFields())
{
    for (const Field f : {Field::Source, Field::Cached, Field::Network})
        m_fields.push_back(f);
    for (const Field f : extra)
        if (std::find(m_fields.begin(), m_fields.end(), f) == m_fields.end())
            m_fields.push_back(f);
}

QByteArray JsonLinesWriter::row(const Row& r)
{
    QByteArray out = "{";
    for (const Field f : m_fields) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        out += fieldInfo(f).name;
        out += "\":";
        if (f == Field::Cached)
            out += r.cached ? "true" : "false";
        else if (f == Field::Agrees)
            out += r.agrees ? (*r.agrees ? "true" : "false") : "null";
        else
            out += string(fieldText(r, f));
    }
    return out + "}\n";
}

} // namespace cli
