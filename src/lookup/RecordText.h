#pragma once

#include "lookup/PageLoader.h"
#include "lookup/WhoisSite.h"

#include <QByteArray>
#include <QString>

namespace lookup {

// The charset a page is read in: the HTTP Content-Type's, else the page's own meta declaration,
// else UTF-8.
QByteArray pageCharset(const QByteArray& body, const QByteArray& contentType);

// The rendered text of the page's record element (the first element with that tag name, or the
// element with that id), with every line break as CR LF; empty when the page has no such element.
QString extractRecordText(const QByteArray& body, const QByteArray& contentType, RecordElement element,
                          const QByteArray& name);

// The record text of a site's page; empty for a page that did not load.
QString recordText(const WhoisSite& site, const Page& page);

// A site's page as the batch tool reads it: whether it has the record element at all (a block or
// captcha page has none; a record without a country code has one), the record text, and the title.
struct RecordPage
{
    bool hasRecordElement = false;
    QString text;
    QString title; // blanks collapsed; empty without a title element
};
RecordPage readRecordPage(const WhoisSite& site, const Page& page);

} // namespace lookup
