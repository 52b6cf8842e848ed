#include "shell/RowGuard.h"

#include <QCryptographicHash>

#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/Prompter.h"

namespace {

// A value as the comparison sees it: a picture by its digest, and an empty
// text the same as none (editors store an empty box as "").
QVariant comparable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return QCryptographicHash::hash(value.toByteArray(), QCryptographicHash::Sha256);
    if (value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty()))
        return QVariant();
    return value.toString();
}

} // namespace

void RowGuard::load(const Recordset &rs, const QString &table, const QString &keyColumn,
                    const QString &key, const QStringList &columns)
{
    m_table = table;
    m_keyColumn = keyColumn;
    m_key = key;
    m_columns = columns;
    m_loaded.clear();
    for (const QString &column : columns)
        m_loaded << comparable(rs.Value(column));
    m_found = m_loaded;
    m_overriding = false;
}

void RowGuard::clear()
{
    m_table.clear();
    m_columns.clear();
    m_loaded.clear();
    m_found.clear();
    m_overriding = false;
}

RowGuard::Found RowGuard::check(Connection &db)
{
    Recordset rs;
    rs.Open(QStringLiteral("select [%1] from [%2] where [%3]=%4")
                .arg(m_columns.join(QStringLiteral("],[")), m_table, m_keyColumn, sqlId(m_key)),
            db, adOpenStatic, adLockReadOnly);
    if (rs.isEOF())
        return Found::Deleted;
    m_found.clear();
    for (int i = 0; i < m_columns.size(); ++i)
        m_found << comparable(rs.Value(i));
    return m_found == m_loaded ? Found::Same : Found::Changed;
}

GuardedSave saveGuarded(Connection &db, Prompter &prompter, RowGuard &guard,
                        const std::function<void()> &write)
{
    for (;;) {
        RowGuard::Found found = RowGuard::Found::Same;
        {
            Transaction transaction(db);
            if (guard.active())
                found = guard.check(db);
            if (found == RowGuard::Found::Same) {
                write();
                transaction.commit();
                return GuardedSave::Saved;
            }
        }
        if (found == RowGuard::Found::Deleted) {
            prompter.message(QStringLiteral("This record was deleted at another workstation "
                                            "after you opened it. Nothing was saved."),
                             QStringLiteral("Record Deleted"), MsgIcon::Exclamation,
                             MsgButtons::OK);
            return GuardedSave::NotSaved;
        }
        const MsgAnswer answer = prompter.message(
            QStringLiteral("This record was changed at another workstation after you opened "
                           "it.\r\nSave your version over it?"),
            QStringLiteral("Record Changed"), MsgIcon::Warning, MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes)
            return GuardedSave::NotSaved;
        guard.acceptFound();
    }
}
