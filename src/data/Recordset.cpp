#include "data/Recordset.h"

#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Dialect.h"

namespace {

const QString kRowIdName = QStringLiteral("__rowid__");

// The one table every result column comes from, as the engine itself reports
// it; "" when a column is computed, comes from elsewhere, or tables mix. The
// words of the statement (a value holding "join", say) play no part.
QString sourceTable(sqlite3_stmt *stmt)
{
    const int cols = sqlite3_column_count(stmt);
    if (cols == 0 || !sqlite3_stmt_readonly(stmt))
        return QString();
    QString table;
    for (int c = 0; c < cols; ++c) {
        const char *name = sqlite3_column_table_name(stmt, c);
        if (!name)
            return QString();
        const QString t = QString::fromUtf8(name);
        if (table.isEmpty())
            table = t;
        else if (t.compare(table, Qt::CaseInsensitive) != 0)
            return QString();
    }
    return table;
}

QString withRowId(const QString &sql)
{
    static const QRegularExpression select(QStringLiteral("^\\s*select\\s+"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = select.match(sql);
    return sql.left(m.capturedEnd()) + QStringLiteral("rowid AS ") + kRowIdName
        + QStringLiteral(", ") + sql.mid(m.capturedEnd());
}

void bindVariant(sqlite3_stmt *stmt, int index, const QVariant &v)
{
    if (v.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        sqlite3_bind_int64(stmt, index, v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt, index, v.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_bind_blob64(stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_bind_text64(stmt, index, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    }
    }
}

} // namespace

void Recordset::Open(const QString &sql, Connection &conn, int cursorType, int lockType)
{
    Q_UNUSED(cursorType); // every result is read whole, so all cursors behave as static ones
    sqlite3 *db = conn.requireOpen();
    if (m_open)
        throw DbError(3705, QStringLiteral("Operation is not allowed when the object is open."));
    const QString translated = translateSql(sql);
    const auto prepare = [&](const QString &text, sqlite3_stmt **stmt) {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_prepare_v2(db, utf8.constData(), utf8.size(), stmt, nullptr);
    };
    sqlite3_stmt *stmt = nullptr;
    int rc = prepare(translated, &stmt);
    if (rc != SQLITE_OK)
        conn.raise(rc);
    QString table = lockType == adLockReadOnly ? QString() : sourceTable(stmt);
    if (!table.isEmpty()) {
        // Rows are written back by their row id. A statement over a join, a view
        // or a sub-select has none to offer, and stays read-only.
        sqlite3_stmt *keyed = nullptr;
        const auto ownRowId = [&] {
            const char *origin = sqlite3_column_table_name(keyed, 0);
            return origin && table.compare(QString::fromUtf8(origin), Qt::CaseInsensitive) == 0;
        };
        if (prepare(withRowId(translated), &keyed) == SQLITE_OK && keyed && ownRowId()) {
            sqlite3_finalize(stmt);
            stmt = keyed;
        } else {
            sqlite3_finalize(keyed);
            table.clear();
        }
    }

    std::vector<Cell> cells;
    std::string arena;
    const int cols = sqlite3_column_count(stmt);
    QStringList names;
    const int first = table.isEmpty() ? 0 : 1;
    for (int c = first; c < cols; ++c)
        names << QString::fromUtf8(sqlite3_column_name(stmt, c));

    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            Cell cell;
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                cell.type = 1;
                cell.i = sqlite3_column_int64(stmt, c);
                break;
            case SQLITE_FLOAT:
                cell.type = 2;
                cell.d = sqlite3_column_double(stmt, c);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const bool text = sqlite3_column_type(stmt, c) == SQLITE_TEXT;
                const char *data = text
                    ? reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))
                    : static_cast<const char *>(sqlite3_column_blob(stmt, c));
                const int n = sqlite3_column_bytes(stmt, c);
                cell.type = text ? 3 : 4;
                cell.size = quint32(n);
                cell.offset = arena.size();
                if (n > 0)
                    arena.append(data, size_t(n));
                break;
            }
            default:
                break;
            }
            cells.push_back(cell);
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        conn.raise(rc);

    m_conn = &conn;
    m_sql = sql;
    m_lock = lockType;
    m_table = table;
    m_hasRowId = !table.isEmpty();
    m_cols = cols;
    m_names = names;
    m_cells = std::move(cells);
    m_arena = std::move(arena);
    m_open = true;
    m_pos = rowCount() > 0 ? 0 : -1;
    resetEdit();
}

void Recordset::Close()
{
    m_open = false;
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_arena.clear();
    m_arena.shrink_to_fit();
    m_names.clear();
    m_cols = 0;
    m_pos = -1;
    m_table.clear();
    m_hasRowId = false;
    resetEdit();
}

void Recordset::resetEdit()
{
    m_dirty.assign(size_t(m_cols), false);
    m_chunkStarted.assign(size_t(m_cols), false);
    m_adding = false;
    m_chunkReadPos = 0;
    m_chunkReadCol = -1;
}

void Recordset::MoveFirst()
{
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
}

void Recordset::MovePrevious()
{
    resetEdit();
    if (m_pos >= 0)
        --m_pos;
}

void Recordset::MoveLast()
{
    resetEdit();
    m_pos = rowCount() - 1;
}

void Recordset::Move(int absolutePosition)
{
    if (absolutePosition < 1 || absolutePosition > rowCount())
        throw DbError(3021,
                      QStringLiteral("Either BOF or EOF is True, or the current record "
                                     "has been deleted."));
    resetEdit();
    m_pos = absolutePosition - 1;
}

QString Recordset::FieldName(int index) const
{
    if (index < 0 || index >= m_names.size())
        throw DbError(3265,
                      QStringLiteral("Item cannot be found in the collection "
                                     "corresponding to the requested name or ordinal."));
    return m_names.at(index);
}

int Recordset::FieldIndex(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
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
    return index + (m_hasRowId ? 1 : 0);
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

QVariant Recordset::toVariant(const Cell &c) const
{
    switch (c.type) {
    case 1:
        return QVariant(qlonglong(c.i));
    case 2:
        return QVariant(c.d);
    case 3:
        return QVariant(QString::fromUtf8(m_arena.data() + c.offset, int(c.size)));
    case 4:
        return QVariant(QByteArray(m_arena.data() + c.offset, int(c.size)));
    default:
        return QVariant();
    }
}

void Recordset::storeBytes(Cell &c, quint8 type, const char *data, qint64 size)
{
    c.type = type;
    c.size = quint32(size);
    c.offset = m_arena.size();
    if (size > 0)
        m_arena.append(data, size_t(size));
}

Recordset::Cell Recordset::fromVariant(const QVariant &v)
{
    Cell c;
    if (v.isNull())
        return c;
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        c.type = 1;
        c.i = v.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        c.type = 2;
        c.d = v.toDouble();
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        storeBytes(c, 4, b.constData(), b.size());
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        storeBytes(c, 3, t.constData(), t.size());
    }
    }
    return c;
}

QVariant Recordset::Value(int index) const
{
    requireRow();
    if (index < 0 || index >= m_names.size())
        FieldName(index); // throws
    return toVariant(cell(m_pos, index + (m_hasRowId ? 1 : 0)));
}

QVariant Recordset::Value(const QString &name) const
{
    requireRow();
    return toVariant(cell(m_pos, columnOf(name)));
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
    for (int c = 0; c < m_cols; ++c)
        m_cells.push_back(Cell());
    m_pos = rowCount() - 1;
    m_adding = true;
}

void Recordset::CancelUpdate()
{
    if (m_adding) {
        m_cells.resize(m_cells.size() - size_t(m_cols));
        m_pos = rowCount() > 0 ? rowCount() - 1 : -1;
    }
    resetEdit();
}

void Recordset::Update()
{
    requireUpdatable();
    requireRow();
    QStringList columns;
    std::vector<int> cols;
    for (int c = m_hasRowId ? 1 : 0; c < m_cols; ++c) {
        if (m_dirty[size_t(c)]) {
            cols.push_back(c);
            columns << m_names.at(c - (m_hasRowId ? 1 : 0));
        }
    }
    if (!m_adding && cols.empty())
        return;

    QString sql;
    const QString table = QLatin1Char('[') + m_table + QLatin1Char(']');
    if (m_adding) {
        if (cols.empty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks;
            for (int i = 0; i < int(cols.size()); ++i)
                marks << QStringLiteral("?");
            sql =
                QStringLiteral("INSERT INTO %1 ([%2]) VALUES (%3)")
                    .arg(table, columns.join(QStringLiteral("],[")), marks.join(QLatin1Char(',')));
        }
    } else {
        sql = QStringLiteral("UPDATE %1 SET [%2]=? WHERE rowid=?")
                  .arg(table, columns.join(QStringLiteral("]=?,[")));
    }

    sqlite3 *db = m_conn->requireOpen();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, utf8.constData(), utf8.size(), &stmt, nullptr);
    if (rc != SQLITE_OK)
        m_conn->raise(rc);
    int bindIndex = 1;
    for (int c : cols)
        bindVariant(stmt, bindIndex++, toVariant(cell(m_pos, c)));
    if (!m_adding)
        sqlite3_bind_int64(stmt, bindIndex, cell(m_pos, 0).i);
    rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        m_conn->raise(rc);
    if (!m_adding && sqlite3_changes(db) == 0)
        throw DbError(-2147217864,
                      QStringLiteral("Row cannot be located for updating. Some "
                                     "values may have been changed since it was "
                                     "last read."));

    // Keep the hidden row id in step with the key, which may have been assigned.
    sqlite3_int64 rowid = m_adding ? sqlite3_last_insert_rowid(db) : cell(m_pos, 0).i;
    if (!m_adding) {
        // An assigned integer key moves the row id with it.
        sqlite3_stmt *pk = nullptr;
        const QByteArray q = QStringLiteral("SELECT name FROM pragma_table_info('%1') WHERE pk=1")
                                 .arg(m_table)
                                 .toUtf8();
        if (sqlite3_prepare_v2(db, q.constData(), q.size(), &pk, nullptr) == SQLITE_OK
            && sqlite3_step(pk) == SQLITE_ROW) {
            const QString key =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(pk, 0)));
            const int index = FieldIndex(key);
            if (index >= 0 && m_dirty[size_t(index + 1)]) {
                const QVariant v = toVariant(cell(m_pos, index + 1));
                bool ok = false;
                const qint64 id = v.toLongLong(&ok);
                if (ok)
                    rowid = id;
            }
        }
        sqlite3_finalize(pk);
    }
    cell(m_pos, 0).type = 1;
    cell(m_pos, 0).i = rowid;
    resetEdit();
}

qint64 Recordset::ActualSize(const QString &name) const
{
    requireRow();
    const Cell &c = cell(m_pos, columnOf(name));
    return (c.type == 3 || c.type == 4)
        ? qint64(c.size)
        : (c.type == 0 ? 0 : toVariant(c).toString().toUtf8().size());
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
    if (c.type != 3 && c.type != 4)
        return QByteArray();
    const qint64 n = qMin(count, qint64(c.size) - m_chunkReadPos);
    if (n <= 0)
        return QByteArray();
    QByteArray out(m_arena.data() + c.offset + m_chunkReadPos, int(n));
    m_chunkReadPos += n;
    return out;
}

void Recordset::AppendChunk(const QString &name, const QByteArray &bytes)
{
    requireUpdatable();
    requireRow();
    const int col = columnOf(name);
    Cell &c = cell(m_pos, col);
    if (!m_chunkStarted[size_t(col)] || c.type != 4) {
        // The first piece replaces what the column held.
        storeBytes(c, 4, bytes.constData(), bytes.size());
        m_chunkStarted[size_t(col)] = true;
    } else if (c.offset + c.size == m_arena.size()) {
        // Still the last thing in the arena: grow it in place.
        m_arena.append(bytes.constData(), size_t(bytes.size()));
        c.size += quint32(bytes.size());
    } else {
        std::string joined(m_arena.data() + c.offset, c.size);
        joined.append(bytes.constData(), size_t(bytes.size()));
        storeBytes(c, 4, joined.data(), qint64(joined.size()));
    }
    m_dirty[size_t(col)] = true;
}
