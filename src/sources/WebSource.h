#pragma once

#include "sources/Source.h"

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
    explicit WebSource(lookup::PageLoader& loader);

    QString name() const override;
    bool isRemote() const override { return true; }
    std::unique_ptr<SourceRequest> ask(const Query& query) override;

private:
    lookup::PageLoader& m_loader;
};

} // namespace sources
