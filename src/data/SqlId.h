#pragma once

#include <QString>
#include <QVariant>

// An id read from a database (or a window that shows one) on its way back into
// SQL: the decimal text of a whole number, or DbError 3464 ("... is not a
// number") so that nothing else ever reaches a statement.
QString sqlId(const QVariant &id);
