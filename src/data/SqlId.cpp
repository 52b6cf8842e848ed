#include "data/SqlId.h"

#include "data/DbError.h"

QString sqlId(const QVariant &id)
{
    const QString text = id.toString().trimmed();
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    if (!number || id.isNull())
        throw DbError(3464, QStringLiteral("The id '%1' is not a number.").arg(id.toString()));
    return QString::number(value);
}
