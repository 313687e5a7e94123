#include "cli/Sources.h"

#include "core/Failure.h"
#include "sources/WebSource.h"

using namespace Qt::StringLiterals;

namespace cli {

std::vector<std::unique_ptr<sources::Source>> makeSources(const CliOptions& options, lookup::PageLoader& loader)
{
    std::vector<std::unique_ptr<sources::Source>> made;
    for (const QString& name : options.sources) {
        if (name == u"web"_s)
            made.push_back(std::make_unique<sources::WebSource>(loader));
        else
            throw core::Failure(u"unknown source \"%1\""_s.arg(name));
    }
    return made;
}

} // namespace cli
