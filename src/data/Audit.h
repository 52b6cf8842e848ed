#pragma once

#include <functional>
#include <vector>

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class Connection;
class Recordset;

// The audit trail: who created, changed, viewed in print or export, and
// deleted each record, and what it held before. Every row goes in through the
// same transaction as the change it describes, so neither is ever stored
// without the other. Rows are only ever added.
namespace Audit {

struct Entry
{
    QString action; // "Add", "Update", "Delete", "Print", "Export", "Backup", "Restore", "Password"
    QString table;
    QVariant recordId;  // null when the event has no one record
    QVariant patientId; // null when it belongs to no one patient
    QString changes;
    // Names nobody: a wrong password proves nothing about who typed it.
    bool anonymous = false;
};

// Adds the row for the connection's user, now (UTC), at this workstation.
// Runs inside a transaction of its own, nested in the caller's; throws DbError.
// Views kept back (see View below) go in first, in their order.
void add(Connection &db, const Entry &entry);

// A trail row as it is stored.
struct Stored
{
    qint64 id = 0; // AuditID; 0 when there is no row
    QString eventDate;
    QString userName;
    QString privilege;
    QString workstation;
    QString action;
    QString table;
    QVariant recordId;
    QVariant patientId;
    QString changes;
    QVariant originalId; // the row's id in the trail a restore carried it from
    QString originalSeal;
    QString seal; // "" on rows written before rows were sealed
};

// The seal of row when the row before it carries previousSeal ("" when there
// is none, or it carries none): see the fixed form in Audit.cpp.
QString sealOf(const QString &previousSeal, const Stored &row);

// Writes row after the newest row, with the next AuditID and sealed to that
// row, inside a transaction (which takes the write lock, so no other
// workstation seals to the same row meanwhile). Returns the row as stored.
Stored append(Connection &db, Stored row);

// Writes the rows after the newest row, in their order, each with the next
// AuditID and sealed to the one before, in one transaction. Returns the last.
Stored appendRows(Connection &db, const std::vector<Stored> &rows);

// The newest row (id 0 when the trail is empty).
Stored newest(Connection &db);

// Calls visit with every row in AuditID order, read a chunk at a time; stops
// early when visit returns false. Without sealed, the trail is an older
// file's, which has no seal columns: they read as empty.
void forEachRow(Connection &db, const std::function<bool(const Stored &)> &visit,
                bool sealed = true);

// The openings of a patient's record: "View" rows, kept in memory so that an
// opening never waits for the write lock. They go in with the connection's
// next trail row, or at the latest when flushViews is called (a timer each
// minute, and the exit).
void view(Connection &db, const QString &table, const QVariant &recordId,
          const QVariant &patientId);
// Writes the views kept back for db; throws DbError (they stay kept).
void flushViews(Connection &db);
int pendingViews(const Connection &db);

// A stored row as the trail shows it: column by column, names deciphered, and
// "changed" in place of a password or a picture, whose contents never go in.
// Empty when the row is not there.
struct Row
{
    QString table;
    QList<QPair<QString, QVariant>> columns;
    bool isEmpty() const { return columns.isEmpty(); }
};
Row read(Connection &db, const QString &table, const QString &keyColumn, const QVariant &key);
// "Column: value", one per line, for the columns that hold something.
QString listing(const Row &row);
// "Column: old -> new", one per line, for the columns that differ.
QString differences(const Row &before, const Row &after);

// Runs write inside one transaction together with its trail row: "Add" lists
// the new row, "Update" what changed in it (the row read before and after).
void recordWrite(Connection &db, const QString &action, const QString &table,
                 const QString &keyColumn, const QVariant &key, const QVariant &patientId,
                 const std::function<void()> &write);

// Deletes the row (through the statement given) together with its trail row,
// which lists every column the row held.
void recordDelete(Connection &db, const QString &table, const QString &keyColumn,
                  const QVariant &key, const QVariant &patientId, const QString &deleteSql);

// The trail row of a print or an export of the recordset's rows: what it was,
// where it went, how many rows and which fields; the patient when every row
// belongs to one.
Entry output(const QString &action, const QString &what, const QString &target,
             const Recordset &rs, int rows, const QVariant &patientId);

} // namespace Audit
