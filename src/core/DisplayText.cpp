#include "core/DisplayText.h"

using namespace Qt::StringLiterals;

namespace core {

QString displayText(const QString& text)
{
    if (text.size() <= DisplayLimit)
        return text;
    return text.left(DisplayLimit) + QChar(0x2026) + u" (%1 characters)"_s.arg(text.size());
}

} // namespace core
