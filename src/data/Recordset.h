#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "data/Engine.h"

class Connection;

enum CursorTypeEnum {
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3
};
enum LockTypeEnum { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };

// A result set read whole at Open, so RecordCount is exact and moving is free.
// When it is updatable (not read-only, one table), AddNew/assignment/Update
// write back by the row's key. NULL comes back as a null QVariant,
// distinct from "".
// Opened adOpenForwardOnly and adLockReadOnly it is read a chunk at a time
// instead, for going once from the first row to the last in little memory:
// RecordCount is then -1 and it cannot move back.
class Recordset
{
public:
    Recordset() = default;
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    void Open(const QString &sql, Connection &conn, int cursorType = adOpenDynamic,
              int lockType = adLockOptimistic);
    int State() const { return m_open ? 1 : 0; }
    void Close();

    bool isEOF() const { return !m_open || rowCount() == 0 || m_pos >= rowCount(); }
    bool isBOF() const { return !m_open || m_pos < 0 || rowCount() == 0; }
    int RecordCount() const { return m_open ? (m_forwardOnly ? -1 : rowCount()) : 0; }
    // 1-based position of the current row; -1 when there is none.
    int AbsolutePosition() const { return (isEOF() || isBOF()) ? -1 : m_passed + m_pos + 1; }

    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    void Move(int absolutePosition); // 1-based

    int FieldCount() const { return int(m_rows.names.size()); }
    QString FieldName(int index) const;
    int FieldIndex(const QString &name) const; // -1 when absent; names ignore case
    QStringList FieldNames() const { return m_rows.names; }

    // Values of the current row. Throw DbError without a current row or field.
    QVariant Value(int index) const;
    QVariant Value(const QString &name) const;
    // Text of a value: "" for NULL.
    QString Text(const QString &name) const;
    bool IsNull(const QString &name) const { return Value(name).isNull(); }

    // Editing the current row; written by Update/UpdateBatch.
    void setValue(const QString &name, const QVariant &value);
    void AddNew();
    void Update();
    void UpdateBatch() { Update(); }
    void CancelUpdate();

    // Binary columns, read and written in pieces.
    qint64 ActualSize(const QString &name) const;
    QByteArray GetChunk(const QString &name, qint64 count); // continues where the last read stopped
    void AppendChunk(const QString &name, const QByteArray &bytes);

    QString Source() const { return m_sql; }
    // The connection the recordset was opened on; null before the first Open.
    Connection *connection() const { return m_conn; }
    bool updatable() const { return m_rows.keyed && m_lock != adLockReadOnly; }

private:
    int rowCount() const { return m_rows.cols ? int(m_rows.cells.size() / m_rows.cols) : 0; }
    const Cell &cell(int row, int col) const { return m_rows.cells[size_t(row) * m_rows.cols + col]; }
    Cell &cell(int row, int col) { return m_rows.cells[size_t(row) * m_rows.cols + col]; }
    int keyColumns() const { return m_rows.keyed ? 1 : 0; }
    int columnOf(const QString &name) const; // throws
    void requireRow() const;
    void requireUpdatable() const;
    Cell fromVariant(const QVariant &v);
    void resetEdit();
    void requireBackward() const;

    Connection *m_conn = nullptr;
    bool m_open = false;
    QString m_sql;
    int m_lock = adLockReadOnly;
    ResultRows m_rows;
    int m_pos = -1;
    // Read as it goes: the rest of the rows, and how many went before m_rows.
    bool m_forwardOnly = false;
    std::unique_ptr<RowStream> m_stream;
    int m_passed = 0;

    // Pending edit of the current row.
    std::vector<bool> m_dirty;
    bool m_adding = false;
    std::vector<bool> m_chunkStarted;
    qint64 m_chunkReadPos = 0;
    int m_chunkReadCol = -1;
};
