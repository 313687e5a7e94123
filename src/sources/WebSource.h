#pragma once

#include "sources/Source.h"

#include <functional>
#include <memory>

namespace lookup {
class PageLoader;
struct WhoisSite;
} // namespace lookup

namespace sources {

// The window's two WHOIS sites, asked as the window asks them: the first site and its line rule, then
// the second when the first gave no code. Many entries can be asked at once on one page loader; its
// per-host limit bounds what each site sees. The answer's source is "site1" or "site2"; its network is
// the block that the site's record names for an address, or the registered domain of a name.
class WebSource : public Source
{
public:
    // After this many pages in a row without the record element (what a block or captcha page looks
    // like), a site is said to be blocking the lookups, once.
    static constexpr int BlockPageRun = 20;

    explicit WebSource(lookup::PageLoader& loader);
    ~WebSource() override;

    QString name() const override;
    bool isRemote() const override { return true; }
    std::unique_ptr<SourceRequest> ask(const Query& query) override;

    // Where notices about a site go (the block-page notice); nowhere unless set.
    void setNotice(std::function<void(const QString&)> notice);

    struct Watch; // what the sites' pages looked like lately

private:
    lookup::PageLoader& m_loader;
    std::shared_ptr<Watch> m_watch;
};

} // namespace sources
