#include "data/Audit.h"

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

void add(Connection &db, const Entry &entry)
{
    const AuditWho who = db.who();
    Transaction transaction(db);
    Recordset next;
    next.Open(QStringLiteral("select max(AuditID) from AuditTrail"), db, adOpenStatic,
              adLockReadOnly);
    const qint64 id = idAfter(next.isEOF() ? QVariant() : next.Value(0));
    Recordset rs;
    rs.Open(QStringLiteral("select * from AuditTrail where AuditID = -1"), db);
    rs.AddNew();
    rs.setValue(QStringLiteral("AuditID"), id);
    rs.setValue(QStringLiteral("EventDate"),
                QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    rs.setValue(QStringLiteral("UserName"), who.userName);
    rs.setValue(QStringLiteral("Privilege"), who.privilege);
    rs.setValue(QStringLiteral("Workstation"), who.workstation);
    rs.setValue(QStringLiteral("Action"), entry.action);
    rs.setValue(QStringLiteral("TableName"), entry.table);
    if (!entry.recordId.isNull())
        rs.setValue(QStringLiteral("RecordID"), entry.recordId.toLongLong());
    if (!entry.patientId.isNull() && !entry.patientId.toString().isEmpty())
        rs.setValue(QStringLiteral("PatientID"), entry.patientId.toLongLong());
    rs.setValue(QStringLiteral("Changes"), entry.changes);
    rs.Update();
    transaction.commit();
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
