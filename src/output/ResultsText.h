#pragma once

#include "output/ResultsTable.h"

#include <QString>

namespace output {

// The ticked rows as text: one line per ticked row, each cell padded with spaces to the widest cell
// of its column over all rows (ticked or not, headers never), cells separated by tabs, spaces at the
// end of a line trimmed, every line ended by CR LF. Yields time-sliced; rows removed meanwhile are
// left out. A table without columns gives the empty text.
QString BuildResultsText(const ResultsTable& table);

} // namespace output
