#pragma once

#include "output/Clipboard.h"

namespace shell {

// The system clipboard through QClipboard. An attempt counts as failed unless the clipboard ends up
// holding our text: the X11 platform only warns when another client keeps the selection, so that
// warning is watched for during the call.
class QtClipboard : public output::Clipboard
{
public:
    bool clear() override;
    bool setText(const QString& text, int format) override;

    // The type under which a non-zero clipboard format number is placed.
    static QString mimeTypeOf(int format);
};

} // namespace shell
