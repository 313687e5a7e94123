#pragma once

#include <QByteArray>
#include <QString>

namespace lookup {

// The hosts live here and nowhere else; tests reach a fake server under the same names through the
// standard proxy variables.
inline const QString FirstWhoisHost = QStringLiteral("www.whois.com");
inline const QString SecondWhoisHost = QStringLiteral("whois.domaintools.com");

enum class RecordElement {
    FirstByTag, // the first element with that tag name, in document order
    ById        // the first element with that id
};

// One WHOIS site: where its pages are, which element holds the record, and what its line rules need.
struct WhoisSite
{
    QString host;
    QString path; // followed by the entry
    RecordElement element;
    QByteArray elementName; // tag name or id
    QString registrantMarker;
    Qt::CaseSensitivity markerCase;
    // Under the country-line rule: every matching line gives a code (the last one wins), or only the first.
    bool everyCountryLine;
};

const WhoisSite& firstWhoisSite();
const WhoisSite& secondWhoisSite();

} // namespace lookup
