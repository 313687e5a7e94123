#include "lookup/WhoisSite.h"

using namespace Qt::StringLiterals;

namespace lookup {

const WhoisSite& firstWhoisSite()
{
    static const WhoisSite site{FirstWhoisHost,    u"/whois/"_s, RecordElement::FirstByTag, "pre", u"Registrant:"_s,
                                Qt::CaseSensitive, false};
    return site;
}

const WhoisSite& secondWhoisSite()
{
    static const WhoisSite site{
        SecondWhoisHost,     u"/"_s, RecordElement::ById, "whoisRecordContainer", u"Registrant"_s,
        Qt::CaseInsensitive, true};
    return site;
}

} // namespace lookup
