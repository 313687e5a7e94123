#include "lookup/WhoisScan.h"

namespace lookup {

QString trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

void ScanWhoisText(const WhoisSite& site, const QString& recordText, LineRule rule,
                   const std::function<void(const QString& code)>& applyCountryCode)
{
    if (recordText.isEmpty())
        return;
    const QStringView text(recordText);
    bool registrantSeen = false;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u"\r\n", start);
        if (end < 0)
            end = text.size();
        const QStringView line = text.sliced(start, end - start);
        start = end + 2;

        if (line.isEmpty() || line.front() == u'#' || line.front() == u'%')
            continue;
        if (rule == LineRule::Registrant) {
            if (line.contains(site.registrantMarker, site.markerCase)) {
                registrantSeen = true;
                continue;
            }
            if (registrantSeen) {
                const QString code = trimBlanks(line);
                if (code.size() == 2) {
                    applyCountryCode(code);
                    return;
                }
            }
        } else {
            if (!line.contains(u"country:", Qt::CaseInsensitive))
                continue;
            applyCountryCode(trimBlanks(line.sliced(line.indexOf(u':') + 1)));
            if (!site.everyCountryLine)
                return;
        }
    }
}

} // namespace lookup
