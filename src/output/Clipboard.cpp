#include "output/Clipboard.h"

#include "core/Failure.h"
#include "output/ResultsText.h"

namespace output {

namespace {

// One attempt; anything the clipboard throws counts as a failed attempt, except the program ending.
template <class Attempt> bool attemptOnce(Attempt&& attempt)
{
    try {
        return attempt();
    } catch (const core::Abandoned&) {
        throw;
    } catch (...) {
        return false;
    }
}

template <class Attempt> bool retry(Attempt&& attempt)
{
    bool succeeded = false;
    int attempts = 0;
    do {
        succeeded = attemptOnce(attempt);
        ++attempts;
    } while (!succeeded && attempts < MaxClipboardAttempts);
    return succeeded;
}

} // namespace

void ClearClipboard(Clipboard& clipboard)
{
    retry([&] { return clipboard.clear(); });
}

bool SetClipboardText(Clipboard& clipboard, const QString& text, int format)
{
    return retry([&] { return clipboard.setText(text, format); });
}

CopyOutcome CopyResultsToClipboard(const ResultsTable& table, Clipboard& clipboard)
{
    if (table.rowCount() == 0)
        return CopyOutcome::NothingToCopy;
    const QString text = BuildResultsText(table);
    ClearClipboard(clipboard);
    return SetClipboardText(clipboard, text, 0) ? CopyOutcome::Copied : CopyOutcome::NotPlaced;
}

} // namespace output
