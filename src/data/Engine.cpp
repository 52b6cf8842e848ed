#include "data/Engine.h"

void ResultRows::addInteger(qint64 value)
{
    Cell c;
    c.type = Cell::Integer;
    c.i = value;
    cells.push_back(c);
}

void ResultRows::addReal(double value)
{
    Cell c;
    c.type = Cell::Real;
    c.d = value;
    cells.push_back(c);
}

void ResultRows::addBytes(Cell::Type type, const char *data, qint64 size)
{
    Cell c;
    c.type = type;
    c.size = quint32(size);
    c.offset = arena.size();
    if (size > 0)
        arena.append(data, size_t(size));
    cells.push_back(c);
}

QVariant ResultRows::value(const Cell &c) const
{
    switch (c.type) {
    case Cell::Integer:
        return QVariant(qlonglong(c.i));
    case Cell::Real:
        return QVariant(c.d);
    case Cell::Text:
        return QVariant(QString::fromUtf8(arena.data() + c.offset, int(c.size)));
    case Cell::Blob:
        return QVariant(QByteArray(arena.data() + c.offset, int(c.size)));
    default:
        return QVariant();
    }
}
