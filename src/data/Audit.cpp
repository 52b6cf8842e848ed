#include "data/Audit.h"

#include <limits>

#include <QCryptographicHash>
#include <QDateTime>

#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/NextId.h"
#include "data/Recordset.h"

namespace Audit {
namespace {

const QString kChanged = QStringLiteral("changed");

bool secret(const QString &table, const QString &column)
{
    return column.compare(QLatin1String("Photo"), Qt::CaseInsensitive) == 0
           || (table.compare(QLatin1String("Users"), Qt::CaseInsensitive) == 0
               && column.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0);
}

bool enciphered(const QString &table, const QString &column)
{
    return table.compare(QLatin1String("Users"), Qt::CaseInsensitive) == 0
           && (column.compare(QLatin1String("UserName"), Qt::CaseInsensitive) == 0
               || column.compare(QLatin1String("Privilege"), Qt::CaseInsensitive) == 0);
}

QString shown(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

QString sqlKey(const QVariant &key)
{
    bool number = false;
    key.toString().toLongLong(&number);
    return number ? key.toString()
                  : QLatin1Char('\'') + key.toString().replace(QLatin1Char('\''), QStringLiteral("''"))
                        + QLatin1Char('\'');
}

} // namespace

// The fixed form of a seal, the same on both engines: the lower-case hex
// SHA-256 of these UTF-8 bytes,
//     "Medlantis audit trail seal 1\n"
//     <the previous row's seal, or nothing for the first row> "\n"
// and then, for each of AuditID, EventDate, UserName, Privilege, Workstation,
// Action, TableName, RecordID, PatientID, Changes, OriginalID and OriginalSeal
// in this order,
//     <the value's length in UTF-8 bytes, in decimal> ":" <the value> "\n"
// with numbers in decimal and NULL written as the empty text. A length before
// each value keeps one field's end from passing for the next one's start.
QString sealOf(const QString &previousSeal, const Stored &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayLiteral("Medlantis audit trail seal 1\n"));
    hash.addData(previousSeal.toUtf8());
    hash.addData(QByteArrayLiteral("\n"));
    const auto number = [](const QVariant &v) {
        return v.isNull() || v.toString().isEmpty() ? QString() : QString::number(v.toLongLong());
    };
    const QString fields[] = {QString::number(row.id),
                              row.eventDate,
                              row.userName,
                              row.privilege,
                              row.workstation,
                              row.action,
                              row.table,
                              number(row.recordId),
                              number(row.patientId),
                              row.changes,
                              number(row.originalId),
                              row.originalSeal};
    for (const QString &field : fields) {
        const QByteArray bytes = field.toUtf8();
        hash.addData(QByteArray::number(bytes.size()));
        hash.addData(QByteArrayLiteral(":"));
        hash.addData(bytes);
        hash.addData(QByteArrayLiteral("\n"));
    }
    return QString::fromLatin1(hash.result().toHex());
}

namespace {

const QString kColumns = QStringLiteral(
    "AuditID, EventDate, UserName, Privilege, Workstation, Action, TableName, RecordID, "
    "PatientID, Changes, OriginalID, OriginalSeal, Seal");

Stored storedAt(const ResultRows &rows, size_t r)
{
    const auto cell = [&](int c) {
        return rows.value(rows.cells[r * size_t(rows.cols) + size_t(c)]);
    };
    const auto text = [&](int c) {
        const QVariant v = cell(c);
        return v.isNull() ? QString() : v.toString();
    };
    Stored row;
    row.id = cell(0).toLongLong();
    row.eventDate = text(1);
    row.userName = text(2);
    row.privilege = text(3);
    row.workstation = text(4);
    row.action = text(5);
    row.table = text(6);
    row.recordId = cell(7);
    row.patientId = cell(8);
    row.changes = text(9);
    row.originalId = cell(10);
    row.originalSeal = text(11);
    row.seal = text(12);
    return row;
}

QVariant orNull(const QVariant &v)
{
    return v.isNull() || v.toString().isEmpty() ? QVariant() : QVariant(v.toLongLong());
}

QVariant orNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// Writes the row after last (the newest row as it stands, sealed or not).
Stored write(Connection &db, Stored row, const Stored &last)
{
    row.id = idAfter(QVariant(last.id));
    row.seal = sealOf(last.seal, row);
    RowWrite w;
    w.table = QStringLiteral("AuditTrail");
    w.insert = true;
    w.columns = kColumns.split(QStringLiteral(", "));
    w.values = {row.id,
                orNull(row.eventDate),
                orNull(row.userName),
                orNull(row.privilege),
                orNull(row.workstation),
                orNull(row.action),
                orNull(row.table),
                orNull(row.recordId),
                orNull(row.patientId),
                orNull(row.changes),
                orNull(row.originalId),
                orNull(row.originalSeal),
                row.seal};
    db.engine().writeRow(w);
    return row;
}

Stored stamped(Connection &db, const Entry &entry)
{
    AuditWho who = db.who();
    if (entry.anonymous)
        who.userName = who.privilege = QString();
    Stored row;
    row.eventDate = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    row.userName = who.userName;
    row.privilege = who.privilege;
    row.workstation = who.workstation;
    row.action = entry.action;
    row.table = entry.table;
    row.recordId = entry.recordId;
    if (!entry.patientId.isNull() && !entry.patientId.toString().isEmpty())
        row.patientId = entry.patientId.toLongLong();
    row.changes = entry.changes;
    return row;
}

} // namespace

Stored newest(Connection &db)
{
    const ResultRows rows =
        db.engine().query(QStringLiteral("select ") + kColumns
                              + QStringLiteral(" from AuditTrail order by AuditID desc limit 1"),
                          false);
    return rows.cells.empty() ? Stored() : storedAt(rows, 0);
}

void forEachRow(Connection &db, const std::function<bool(const Stored &)> &visit, bool sealed)
{
    const QString columns =
        sealed ? kColumns
               : QString(kColumns).replace(QStringLiteral("OriginalID, OriginalSeal, Seal"),
                                           QStringLiteral("null, null, null"));
    constexpr int kChunk = 2000;
    for (qint64 after = std::numeric_limits<qint64>::min();;) {
        const ResultRows rows = db.engine().query(
            QStringLiteral("select %1 from AuditTrail where AuditID > %2 order by AuditID limit %3")
                .arg(columns)
                .arg(after)
                .arg(kChunk),
            false);
        const size_t count = rows.cols ? rows.cells.size() / size_t(rows.cols) : 0;
        const qint64 before = after;
        for (size_t r = 0; r < count; ++r) {
            const Stored row = storedAt(rows, r);
            if (!visit(row))
                return;
            after = row.id;
        }
        // An id that is no whole number would read the same chunk for ever.
        if (count < size_t(kChunk) || after <= before)
            return;
    }
}

Stored appendRows(Connection &db, const std::vector<Stored> &rows)
{
    Transaction transaction(db);
    Stored last = newest(db);
    for (const Stored &row : rows)
        last = write(db, row, last);
    transaction.commit();
    return last;
}

Stored append(Connection &db, Stored row)
{
    Transaction transaction(db);
    row = write(db, std::move(row), newest(db));
    transaction.commit();
    return row;
}

namespace {

// The kept views not yet written in this transaction go in after last.
Stored writeKept(Connection &db, Stored last)
{
    std::vector<Stored> &kept = db.keptTrailRows();
    for (size_t i = db.keptTrailRowsWritten(); i < kept.size(); ++i)
        last = write(db, kept[i], last);
    db.keptTrailRowsWritten(kept.size());
    return last;
}

} // namespace

void add(Connection &db, const Entry &entry)
{
    Stored row = stamped(db, entry);
    Transaction transaction(db);
    write(db, std::move(row), writeKept(db, newest(db)));
    transaction.commit();
}

void view(Connection &db, const QString &table, const QVariant &recordId, const QVariant &patientId)
{
    if (recordId.isNull() || recordId.toString().isEmpty())
        return;
    db.keptTrailRows().push_back(
        stamped(db, {QStringLiteral("View"), table, recordId.toLongLong(), patientId, QString()}));
}

void flushViews(Connection &db)
{
    if (db.keptTrailRows().size() <= db.keptTrailRowsWritten() || !db.State())
        return;
    Transaction transaction(db);
    writeKept(db, newest(db));
    transaction.commit();
}

int pendingViews(const Connection &db)
{
    return int(db.keptTrailRows().size());
}

Row read(Connection &db, const QString &table, const QString &keyColumn, const QVariant &key)
{
    Recordset rs;
    rs.Open(QStringLiteral("select * from [%1] where [%2]=%3").arg(table, keyColumn, sqlKey(key)),
            db, adOpenStatic, adLockReadOnly);
    Row row{table, {}};
    if (rs.isEOF())
        return row;
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const QString column = rs.FieldName(i);
        // The folded names only repeat the names, for the search.
        if (column.startsWith(QLatin1String("Folded")))
            continue;
        QVariant value = rs.Value(i);
        if (value.isNull()) {
            // stays null
        } else if (secret(table, column)) {
            // Only whether it changed: never a password, nor a picture's bytes.
            value = QCryptographicHash::hash(value.toByteArray(), QCryptographicHash::Sha256);
        } else if (enciphered(table, column)) {
            value = D(value.toString());
        }
        row.columns.append({column, value});
    }
    return row;
}

QString listing(const Row &row)
{
    QStringList lines;
    for (const auto &[column, value] : row.columns) {
        const QString text =
            !value.isNull() && secret(row.table, column) ? kChanged : shown(value);
        if (!text.isEmpty())
            lines << column + QStringLiteral(": ") + text;
    }
    return lines.join(QLatin1Char('\n'));
}

QString differences(const Row &before, const Row &after)
{
    const QString table = after.isEmpty() ? before.table : after.table;
    QStringList lines;
    for (const auto &[column, now] : after.columns) {
        QVariant old;
        for (const auto &[name, value] : before.columns) {
            if (name.compare(column, Qt::CaseInsensitive) == 0)
                old = value;
        }
        // An empty box saved over a column that held nothing is no change.
        if (shown(old) == shown(now) && (old.isNull() == now.isNull() || shown(now).isEmpty()))
            continue;
        if (secret(table, column))
            lines << column + QStringLiteral(": ") + kChanged;
        else
            lines << column + QStringLiteral(": ") + shown(old) + QStringLiteral(" -> ")
                         + shown(now);
    }
    return lines.join(QLatin1Char('\n'));
}

void recordWrite(Connection &db, const QString &action, const QString &table,
                 const QString &keyColumn, const QVariant &key, const QVariant &patientId,
                 const std::function<void()> &write)
{
    Transaction transaction(db);
    const Row before = action == QLatin1String("Add") ? Row() : read(db, table, keyColumn, key);
    write();
    const Row after = read(db, table, keyColumn, key);
    add(db, {action, table, key, patientId,
             action == QLatin1String("Add") ? listing(after) : differences(before, after)});
    transaction.commit();
}

void recordDelete(Connection &db, const QString &table, const QString &keyColumn,
                  const QVariant &key, const QVariant &patientId, const QString &deleteSql)
{
    Transaction transaction(db);
    const Row before = read(db, table, keyColumn, key);
    db.Execute(deleteSql);
    add(db, {QStringLiteral("Delete"), table, key, patientId, listing(before)});
    transaction.commit();
}

Entry output(const QString &action, const QString &what, const QString &target,
             const Recordset &rs, int rows, const QVariant &patientId)
{
    QStringList lines;
    if (!target.isEmpty())
        lines << QStringLiteral("To: ") + target;
    lines << QStringLiteral("Rows: ") + QString::number(rows);
    lines << QStringLiteral("Fields: ") + rs.FieldNames().join(QStringLiteral(", "));
    return {action, what, QVariant(), patientId, lines.join(QLatin1Char('\n'))};
}

} // namespace Audit
