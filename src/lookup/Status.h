#pragma once

#include <QString>

namespace lookup {

// The texts of the results table's Status column.
inline const QString StatusRetrieving = QStringLiteral("Retrieving...");
inline const QString StatusCompleted = QStringLiteral("Completed");
inline const QString StatusFailed = QStringLiteral("Failed");

} // namespace lookup
