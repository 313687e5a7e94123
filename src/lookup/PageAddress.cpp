#include "lookup/PageAddress.h"

using namespace Qt::StringLiterals;

namespace lookup {

namespace {

// RFC 3986 pchar without the percent sign, plus "/" between segments.
bool keptInPath(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~': // unreserved
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*': // sub-delims
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
        return true;
    default:
        return false;
    }
}

bool isDotSegment(QByteArrayView segment)
{
    if (segment.isEmpty())
        return false;
    for (char c : segment)
        if (c != '.')
            return false;
    return true;
}

void appendEncoded(QByteArray& out, unsigned char c)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
}

} // namespace

QByteArray encodeEntryPath(const QString& entry)
{
    const QByteArray utf8 = entry.toUtf8();
    bool hasDotSegment = false;
    for (qsizetype start = 0; start <= utf8.size() && !hasDotSegment;) {
        qsizetype end = utf8.indexOf('/', start);
        if (end < 0)
            end = utf8.size();
        // Qt 6.4's client also drops a two-character segment such as ".x" in front of a "/" when it resolves
        // dot segments (QHttpNetworkRequest normalises the path), so any segment that starts with a dot
        // is treated as one.
        hasDotSegment = end > start && utf8[start] == '.';
        start = end + 1;
    }

    // The site's path already ends in "/": a leading "/" of the entry would start the path with "//" on a
    // site under "/", which Qt's client sends with one slash fewer.
    qsizetype leadingSlashes = 0;
    while (leadingSlashes < utf8.size() && utf8[leadingSlashes] == '/')
        ++leadingSlashes;

    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char ch = utf8[i];
        const auto c = static_cast<unsigned char>(ch);
        if (keptInPath(c) && i >= leadingSlashes && !(hasDotSegment && (c == '/' || c == '.')))
            out += ch;
        else
            appendEncoded(out, c);
    }
    return out;
}

QUrl pageAddress(const WhoisSite& site, const QString& entry)
{
    if (isDotSegment(QByteArrayView(entry.toUtf8())))
        return {};
    const QByteArray address = "http://" + site.host.toUtf8() + site.path.toUtf8() + encodeEntryPath(entry);
    return QUrl::fromEncoded(address, QUrl::StrictMode);
}

} // namespace lookup
