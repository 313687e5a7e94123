#include "addresses/FixDoubleBackslashes.h"

namespace addresses {

namespace {

QString halvePairs(QStringView text, QChar separator)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator)
            ++i;
    }
    return result;
}

} // namespace

QString fixDoubledSeparators(const QString& path, QChar separator, int leadingRun)
{
    if (!path.startsWith(separator))
        return halvePairs(path, separator);
    qsizetype k = 1;
    while (k < path.size() && path[k] == separator)
        ++k;
    return QString(leadingRun, separator) + halvePairs(QStringView(path).sliced(k), separator);
}

QString FixDoubleBackslashes(const QString& path)
{
    return fixDoubledSeparators(path, u'\\', 2);
}

QString fixJoinedPath(const QString& path)
{
    return fixDoubledSeparators(path, u'/', 1);
}

} // namespace addresses
