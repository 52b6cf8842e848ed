#pragma once

#include <limits>

#include <QString>
#include <QVariant>

#include "data/DbError.h"

// The id after the largest one stored (null: none yet, so 1). At the largest
// 64-bit integer there is none: one more would wrap to a negative id.
inline qint64 idAfter(const QVariant &largest)
{
    if (largest.isNull())
        return 1;
    const qint64 last = largest.toLongLong();
    if (last >= std::numeric_limits<qint64>::max())
        throw DbError(6, QStringLiteral("No new record can be added: the largest id is in use."));
    return last + 1;
}
