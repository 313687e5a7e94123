#pragma once

#include <QString>

namespace core {

// True exactly when a last-modified time can be read for the path. Never throws.
bool FileExists(const QString& path) noexcept;

} // namespace core
