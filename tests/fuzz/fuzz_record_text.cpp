// A WHOIS page is written by a stranger: any bytes, with any Content-Type, as a page of either site.
#include "fuzz/FuzzInput.h"
#include "lookup/RecordText.h"
#include "lookup/WhoisSite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const lookup::WhoisSite& site = (choice & 1) ? lookup::secondWhoisSite() : lookup::firstWhoisSite();
    lookup::Page page;
    page.loaded = true;
    page.httpStatus = 200;
    page.contentType = in.bytes(choice >> 3);
    page.body = in.rest();

    const QString text = lookup::recordText(site, page);

    // Line breaks come out as CR LF only, never leading or trailing: the line rules split on exactly that.
    FUZZ_CHECK(!text.startsWith(u"\r\n") && !text.endsWith(u"\r\n"));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r')
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == u'\n');
        if (text[i] == u'\n')
            FUZZ_CHECK(i > 0 && text[i - 1] == u'\r');
    }
    // Rendering adds at most a few characters per byte of markup; anything more means a blow-up.
    FUZZ_CHECK(text.size() <= 4 * page.body.size() + 16);
    return 0;
}
