#pragma once

#include "cli/CliOptions.h"

#include <memory>
#include <vector>

namespace lookup {
class PageLoader;
} // namespace lookup

namespace sources {
class Source;
} // namespace sources

namespace cli {

// The sources the options name, in their order. Throws core::Failure when one cannot be used (its data
// is not installed, its files are unreadable), saying so plainly.
std::vector<std::unique_ptr<sources::Source>> makeSources(const CliOptions& options, lookup::PageLoader& loader);

} // namespace cli
