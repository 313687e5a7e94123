#pragma once

#include <QString>

namespace core {

// Entries and cells may be megabytes long; the lists show a shortened text so that painting and
// measuring stay cheap. The data itself is never shortened.
inline constexpr qsizetype DisplayLimit = 2000;

QString displayText(const QString& text);

} // namespace core
