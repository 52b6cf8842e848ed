#include "data/Recordset.h"

#include "data/Connection.h"
#include "data/DbError.h"

namespace {
// Rows a forward-only recordset holds at a time.
constexpr int kStreamChunk = 1000;
} // namespace

void Recordset::Open(const QString &sql, Connection &conn, int cursorType, int lockType)
{
    if (m_open)
        throw DbError(3705, QStringLiteral("Operation is not allowed when the object is open."));
    conn.ensureCurrent(false);
    // Other cursors read the result whole and behave as static ones.
    const bool forwardOnly = cursorType == adOpenForwardOnly && lockType == adLockReadOnly;
    ResultRows rows;
    std::unique_ptr<RowStream> stream;
    if (forwardOnly) {
        stream = conn.engine().stream(sql);
        if (!stream->next(rows, kStreamChunk))
            stream.reset();
    } else {
        rows = conn.engine().query(sql, lockType != adLockReadOnly);
    }
    m_forwardOnly = forwardOnly;
    m_stream = std::move(stream);
    m_passed = 0;
    m_conn = &conn;
    m_sql = sql;
    m_lock = lockType;
    m_rows = std::move(rows);
    m_open = true;
    m_pos = rowCount() > 0 ? 0 : -1;
    resetEdit();
}

void Recordset::Close()
{
    m_stream.reset();
    m_forwardOnly = false;
    m_passed = 0;
    m_open = false;
    m_rows = ResultRows();
    m_pos = -1;
    resetEdit();
}

void Recordset::resetEdit()
{
    m_dirty.assign(size_t(m_rows.cols), false);
    m_chunkStarted.assign(size_t(m_rows.cols), false);
    m_adding = false;
    m_chunkReadPos = 0;
    m_chunkReadCol = -1;
}

void Recordset::requireBackward() const
{
    if (m_forwardOnly)
        throw DbError(3219, QStringLiteral("Operation is not allowed in this context."));
}

void Recordset::MoveFirst()
{
    if (m_passed > 0)
        requireBackward();
    if (rowCount() > 0) {
        resetEdit();
        m_pos = 0;
    }
}

void Recordset::MoveNext()
{
    if (isEOF())
        throw DbError(3021,
                      QStringLiteral("Either BOF or EOF is True, or the current record "
                                     "has been deleted."));
    resetEdit();
    ++m_pos;
    if (m_pos >= rowCount() && m_stream) {
        m_passed += rowCount();
        m_pos = 0;
        std::unique_ptr<RowStream> stream = std::move(m_stream);
        if (stream->next(m_rows, kStreamChunk))
            m_stream = std::move(stream);
    }
}

void Recordset::MovePrevious()
{
    requireBackward();
    resetEdit();
    if (m_pos >= 0)
        --m_pos;
}

void Recordset::MoveLast()
{
    requireBackward();
    resetEdit();
    m_pos = rowCount() - 1;
}

void Recordset::Move(int absolutePosition)
{
    requireBackward();
    if (absolutePosition < 1 || absolutePosition > rowCount())
        throw DbError(3021,
                      QStringLiteral("Either BOF or EOF is True, or the current record "
                                     "has been deleted."));
    resetEdit();
    m_pos = absolutePosition - 1;
}

QString Recordset::FieldName(int index) const
{
    if (index < 0 || index >= m_rows.names.size())
        throw DbError(3265,
                      QStringLiteral("Item cannot be found in the collection "
                                     "corresponding to the requested name or ordinal."));
    return m_rows.names.at(index);
}

int Recordset::FieldIndex(const QString &name) const
{
    for (int i = 0; i < m_rows.names.size(); ++i) {
        if (m_rows.names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int Recordset::columnOf(const QString &name) const
{
    const int index = FieldIndex(name);
    if (index < 0)
        throw DbError(3265,
                      QStringLiteral("Item cannot be found in the collection "
                                     "corresponding to the requested name or ordinal: %1.")
                          .arg(name));
    return index + keyColumns();
}

void Recordset::requireRow() const
{
    if (isEOF() || m_pos < 0)
        throw DbError(3021,
                      QStringLiteral("Either BOF or EOF is True, or the current record "
                                     "has been deleted. Requested operation requires a "
                                     "current record."));
}

void Recordset::requireUpdatable() const
{
    if (!updatable())
        throw DbError(3251, QStringLiteral("Current Recordset does not support updating."));
}

Cell Recordset::fromVariant(const QVariant &v)
{
    Cell c;
    if (v.isNull())
        return c;
    const auto storeBytes = [this](Cell &cell, Cell::Type type, const char *data, qint64 size) {
        cell.type = type;
        cell.size = quint32(size);
        cell.offset = m_rows.arena.size();
        if (size > 0)
            m_rows.arena.append(data, size_t(size));
    };
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        c.type = Cell::Integer;
        c.i = v.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        c.type = Cell::Real;
        c.d = v.toDouble();
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        storeBytes(c, Cell::Blob, b.constData(), b.size());
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        storeBytes(c, Cell::Text, t.constData(), t.size());
    }
    }
    return c;
}

QVariant Recordset::Value(int index) const
{
    requireRow();
    if (index < 0 || index >= m_rows.names.size())
        FieldName(index); // throws
    return m_rows.value(cell(m_pos, index + keyColumns()));
}

QVariant Recordset::Value(const QString &name) const
{
    requireRow();
    return m_rows.value(cell(m_pos, columnOf(name)));
}

QString Recordset::Text(const QString &name) const
{
    const QVariant v = Value(name);
    return v.isNull() ? QString() : v.toString();
}

void Recordset::setValue(const QString &name, const QVariant &value)
{
    requireUpdatable();
    requireRow();
    const int col = columnOf(name);
    cell(m_pos, col) = fromVariant(value);
    m_dirty[size_t(col)] = true;
}

void Recordset::AddNew()
{
    requireUpdatable();
    resetEdit();
    for (int c = 0; c < m_rows.cols; ++c)
        m_rows.cells.push_back(Cell());
    m_pos = rowCount() - 1;
    m_adding = true;
}

void Recordset::CancelUpdate()
{
    if (m_adding) {
        m_rows.cells.resize(m_rows.cells.size() - size_t(m_rows.cols));
        m_pos = rowCount() > 0 ? rowCount() - 1 : -1;
    }
    resetEdit();
}

void Recordset::Update()
{
    requireUpdatable();
    requireRow();
    RowWrite row;
    row.table = m_rows.table;
    row.insert = m_adding;
    for (int c = keyColumns(); c < m_rows.cols; ++c) {
        if (m_dirty[size_t(c)]) {
            row.columns << m_rows.names.at(c - keyColumns());
            row.values << m_rows.value(cell(m_pos, c));
        }
    }
    if (!m_adding && row.columns.isEmpty())
        return;
    row.key = m_rows.value(cell(m_pos, 0));
    m_conn->ensureCurrent(true);
    const QVariant key = m_conn->engine().writeRow(row);
    // Keep the hidden key in step: an insert or a changed id gives a new one.
    Cell &k = cell(m_pos, 0);
    if (key.typeId() == QMetaType::LongLong || key.typeId() == QMetaType::Int) {
        k.type = Cell::Integer;
        k.i = key.toLongLong();
    } else {
        k = fromVariant(key);
    }
    resetEdit();
}

qint64 Recordset::ActualSize(const QString &name) const
{
    requireRow();
    const Cell &c = cell(m_pos, columnOf(name));
    return (c.type == Cell::Text || c.type == Cell::Blob)
        ? qint64(c.size)
        : (c.type == Cell::Null ? 0 : m_rows.value(c).toString().toUtf8().size());
}

QByteArray Recordset::GetChunk(const QString &name, qint64 count)
{
    requireRow();
    const int col = columnOf(name);
    if (m_chunkReadCol != col) {
        m_chunkReadCol = col;
        m_chunkReadPos = 0;
    }
    const Cell &c = cell(m_pos, col);
    if (c.type != Cell::Text && c.type != Cell::Blob)
        return QByteArray();
    const qint64 n = qMin(count, qint64(c.size) - m_chunkReadPos);
    if (n <= 0)
        return QByteArray();
    QByteArray out(m_rows.arena.data() + c.offset + m_chunkReadPos, int(n));
    m_chunkReadPos += n;
    return out;
}

void Recordset::AppendChunk(const QString &name, const QByteArray &bytes)
{
    requireUpdatable();
    requireRow();
    const int col = columnOf(name);
    Cell &c = cell(m_pos, col);
    if (!m_chunkStarted[size_t(col)] || c.type != Cell::Blob) {
        // The first piece replaces what the column held.
        c = fromVariant(bytes.isNull() ? QByteArray("") : bytes);
        m_chunkStarted[size_t(col)] = true;
    } else if (c.offset + c.size == m_rows.arena.size()) {
        // Still the last thing in the arena: grow it in place.
        m_rows.arena.append(bytes.constData(), size_t(bytes.size()));
        c.size += quint32(bytes.size());
    } else {
        QByteArray joined(m_rows.arena.data() + c.offset, int(c.size));
        joined.append(bytes);
        c = fromVariant(joined);
    }
    m_dirty[size_t(col)] = true;
}
