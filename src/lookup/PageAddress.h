#pragma once

#include "lookup/WhoisSite.h"

#include <QByteArray>
#include <QUrl>

namespace lookup {

// The entry as it goes into the path: everything a path does not allow is percent-encoded (blanks,
// "?", "#", "%", "\", control characters, non-ASCII as UTF-8), so that "name.tld/path" still works
// but no entry can add a query, a fragment or climb out of the site's path. A segment made only of
// dots cannot be carried by encoding its dots (URL handling decodes "%2E" again), so such an entry
// keeps its "/" encoded too and becomes one segment; so does an entry with any segment that starts with
// a dot, which Qt's client may take for a dot segment. A "/" at the start is encoded as well: it cannot add an
// empty segment after the site's path.
QByteArray encodeEntryPath(const QString& entry);

// "http://" + host + path + encoded entry. Invalid (and so refused by the page loader) when the entry
// is nothing but dots, the one entry that no encoding keeps inside the site's path.
QUrl pageAddress(const WhoisSite& site, const QString& entry);

} // namespace lookup
