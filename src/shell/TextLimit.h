#pragma once

#include <QString>

// Length limits of the boxes count Unicode code points: a character outside
// the Basic Multilingual Plane (an emoji) counts once and is never split into
// half a surrogate pair, which would be stored as "?".

int codePointCount(const QString &text);

// The text cut to at most limit code points. What does not fit is taken away
// just before cursor (the end of what was just typed or pasted), so a paste
// keeps its first code points up to the one that does not fit; newCursor
// receives the cursor's place afterwards.
QString cutToCodePoints(const QString &text, int cursor, int limit, int *newCursor = nullptr);
