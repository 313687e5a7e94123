#pragma once

#include "output/ResultsTable.h"

#include <QString>

namespace output {

// The system clipboard, one attempt per call. The window's real one sits on QClipboard; tests put
// in one that fails or counts.
class Clipboard
{
public:
    virtual ~Clipboard() = default;

    // Empties the clipboard. False (or an exception) when the attempt failed.
    virtual bool clear() = 0;
    // Places the text under the format: 0 is plain text, any other number is passed on as the format.
    // False (or an exception) when the text did not end up on the clipboard.
    virtual bool setText(const QString& text, int format) = 0;
};

// A clipboard held by another program is tried this many times in a row, without a pause.
inline constexpr int MaxClipboardAttempts = 1000;

// Empties the clipboard, retrying a failing attempt; a failure of the last attempt is swallowed.
void ClearClipboard(Clipboard& clipboard);
// Places the text, retrying a failing attempt. True when the last attempt succeeded. Never throws.
bool SetClipboardText(Clipboard& clipboard, const QString& text, int format);

enum class CopyOutcome { NothingToCopy, Copied, NotPlaced };

// Puts the ticked rows on the clipboard as the results text. An empty table leaves the clipboard as
// it was. A failure while the text is built (core::Failure) leaves it unchanged too.
CopyOutcome CopyResultsToClipboard(const ResultsTable& table, Clipboard& clipboard);

} // namespace output
