#pragma once

#include "cli/CliOptions.h"

#include <memory>
#include <vector>

namespace lookup {
class PageLoader;
} // namespace lookup

namespace sources {
class OfflineTable;
class Source;
} // namespace sources

namespace cli {

// The sources the options name, in their order. Throws core::Failure when one cannot be used (its data
// is not installed, its files are unreadable), saying so plainly.
std::vector<std::unique_ptr<sources::Source>> makeSources(const CliOptions& options, lookup::PageLoader& loader);

// The offline country table beside the executable. Throws core::Failure saying that it is not installed,
// or why it cannot be used.
std::shared_ptr<const sources::OfflineTable> openOfflineTable();
// What --version says about the offline table: its data, version and licence, or that it is not installed.
QString offlineTableVersionText();

} // namespace cli
