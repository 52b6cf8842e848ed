#include "shell/TextLimit.h"

#include <algorithm>

namespace {

bool pairEndsAt(const QString &text, int end)
{
    return end >= 2 && text.at(end - 1).isLowSurrogate() && text.at(end - 2).isHighSurrogate();
}

} // namespace

int codePointCount(const QString &text)
{
    int count = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (!(text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()))
            ++count;
    }
    return count;
}

QString cutToCodePoints(const QString &text, int cursor, int limit, int *newCursor)
{
    QString out = text;
    int pos = std::clamp(cursor, 0, int(out.size()));
    if (pos > 0 && pos < out.size() && out.at(pos).isLowSurrogate()
        && out.at(pos - 1).isHighSurrogate())
        ++pos; // a cursor inside a pair stands after it
    int excess = codePointCount(out) - std::max(0, limit);
    while (excess > 0 && pos > 0) {
        const int width = pairEndsAt(out, pos) ? 2 : 1;
        out.remove(pos - width, width);
        pos -= width;
        --excess;
    }
    while (excess > 0 && !out.isEmpty()) {
        const int end = int(out.size());
        out.chop(pairEndsAt(out, end) ? 2 : 1);
        --excess;
    }
    if (newCursor)
        *newCursor = std::min(pos, int(out.size()));
    return out;
}
