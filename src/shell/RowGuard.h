#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QVariantList>

class Connection;
class Prompter;
class Recordset;

// What an editor loaded of one stored row: the values of the columns it shows
// and saves (a picture by a digest of its bytes), so that its save can tell
// whether another workstation changed or deleted the row since. Only these
// columns count: another window's columns of the same row are its own.
class RowGuard
{
public:
    enum class Found { Same, Changed, Deleted };

    // Takes the values of columns from the current row of rs, the row of table
    // whose keyColumn holds key.
    void load(const Recordset &rs, const QString &table, const QString &keyColumn,
              const QString &key, const QStringList &columns);
    // Nothing loaded: a new record, which nobody else can have changed.
    void clear();
    bool active() const { return !m_table.isEmpty(); }

    // Reads the row as it is now; run it inside the save's write transaction.
    Found check(Connection &db);
    // The row as the last check found it becomes what was loaded: the user
    // chose to save over the other workstation's change.
    void acceptFound()
    {
        m_loaded = m_found;
        m_overriding = true;
    }
    // True once the user chose to save over another workstation's change.
    bool overriding() const { return m_overriding; }

private:
    QString m_table;
    QString m_keyColumn;
    QString m_key;
    QStringList m_columns;
    QVariantList m_loaded;
    QVariantList m_found;
    bool m_overriding = false;
};

enum class GuardedSave { Saved, NotSaved };

// Saves through write, inside one write transaction, unless the row changed or
// went at another workstation since the editor loaded it. Changed: the user is
// asked whether to save over it ("Record Changed"); deleted: the user is told
// that nothing was saved ("Record Deleted"). No lock is held while a question
// is up; a row that changes again meanwhile is asked about again. write may
// throw; then nothing is written and the failure goes to the caller.
GuardedSave saveGuarded(Connection &db, Prompter &prompter, RowGuard &guard,
                        const std::function<void()> &write);
