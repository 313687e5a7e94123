// Whatever the entry, the page address stays on the site and inside its path: the request the loader
// sends starts with the site's path, and no dot segment, "?", "#" or raw blank reaches it.
#include "fuzz/FuzzInput.h"
#include "lookup/EntryCleaning.h"
#include "lookup/PageAddress.h"
#include "lookup/WhoisSite.h"

#include <QUrl>

#include <algorithm>

namespace {

bool onlyDots(QByteArrayView segment)
{
    return !segment.isEmpty() && std::all_of(segment.begin(), segment.end(), [](char c) { return c == '.'; });
}

// The request target as Qt's HTTP client writes it (QHttpNetworkRequest::uri): without fragment and user,
// fully encoded, and with dot segments resolved; through a proxy the same path follows scheme and host.
QByteArray requestTarget(const QUrl& url, bool normalise)
{
    QUrl::FormattingOptions format(QUrl::RemoveFragment | QUrl::RemoveUserInfo | QUrl::FullyEncoded |
                                   QUrl::RemoveScheme | QUrl::RemoveAuthority);
    if (normalise)
        format |= QUrl::NormalizePathSegments;
    return url.toEncoded(format);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const lookup::WhoisSite& site = (choice & 1) ? lookup::secondWhoisSite() : lookup::firstWhoisSite();
    QString entry = in.text(choice & 2);
    // The run cleans an entry before it builds the address; the raw entry is tried as well.
    if (choice & 4)
        entry = lookup::cleanEntry(entry).normalised;

    const QUrl url = lookup::pageAddress(site, entry);
    if (!url.isValid()) {
        // Only an entry of dots alone is refused; the loader completes such a page at once, not loaded.
        FUZZ_CHECK(onlyDots(entry.toUtf8()));
        return 0;
    }
    FUZZ_CHECK(url.scheme() == u"http");
    FUZZ_CHECK(url.host() == site.host);
    FUZZ_CHECK(url.port() == -1 && url.userInfo().isEmpty());
    FUZZ_CHECK(!url.hasQuery() && !url.hasFragment());

    const QByteArray target = requestTarget(url, true);
    // Resolving dot segments changed nothing: there were none for the client or a server to climb with.
    FUZZ_CHECK(target == requestTarget(url, false));
    FUZZ_CHECK(target.startsWith(site.path.toUtf8()));
    for (char c : target)
        FUZZ_CHECK(c > ' ' && c < 127 && c != '?' && c != '#' && c != '\\');
    for (const QByteArray& segment : target.split('/')) {
        FUZZ_CHECK(!onlyDots(segment));
        // A server that decodes "%2E" first must not find a dot segment either.
        FUZZ_CHECK(!onlyDots(QByteArray::fromPercentEncoding(segment)));
    }
    // The entry's text comes through whole: decoding the path after the site's gives the entry back.
    // (A lone surrogate has no UTF-8 form and goes as "?", encoded.)
    if (QString::fromUtf8(entry.toUtf8()) == entry)
        FUZZ_CHECK(QString::fromUtf8(QByteArray::fromPercentEncoding(target.mid(site.path.size()))) == entry);
    return 0;
}
