#pragma once

#include <QString>

#include "data/Engine.h"

struct sqlite3;

// The embedded engine: one SQLCipher file. A non-empty password is the
// encryption key; an empty one means a plain file. The file may sit on a
// shared folder, so the journal stays in rollback mode and a busy timeout
// makes a second workstation wait instead of failing at once.
void execOn(sqlite3 *db, const QString &sql);

class SqliteEngine : public Engine
{
public:
    // Opens an existing file; never creates one.
    SqliteEngine(const QString &path, const QString &password);
    ~SqliteEngine() override;
    SqliteEngine(const SqliteEngine &) = delete;
    SqliteEngine &operator=(const SqliteEngine &) = delete;

    QString translate(const QString &sql) const override;
    void execute(const QString &sql) override;
    ResultRows query(const QString &sql, bool forUpdate) override;
    std::unique_ptr<RowStream> stream(const QString &sql) override;
    QVariant writeRow(const RowWrite &row) override;
    void beginWrite() override;
    void commit() override;
    void rollback() override;
    bool replaced() const override;
    bool isServer() const override { return false; }
    QString describe() const override { return m_path; }
    QStringList schemaObjects() override;
    void createSchemaObject(const QString &sql) override { execOn(m_db, sql); }

    sqlite3 *handle() const { return m_db; }
    // Turns an SQLite result code of this connection into a DbError.
    [[noreturn]] void raise(int rc) const;

private:
    // Runs write, then fills the folded names it left missing, in one transaction.
    template <class Write>
    auto writingNames(const Write &write);
    QVariant writeRowAs(const RowWrite &row);

    QString m_path;
    sqlite3 *m_db = nullptr;
};

// The functions the windows' SQL needs: a like for every letter, StrComp.
void registerSqlFunctions(sqlite3 *db);
// Runs statements (several may follow each other) on an open handle.
void execOn(sqlite3 *db, const QString &sql);
// Gives every row of PatientRecords whose folded names are missing its folded
// names (foldedText of each name), inside the transaction that is open;
// nothing when the file has no folded columns (an earlier version's).
void fillFoldedNamesOn(sqlite3 *db);
// Opens a file without creating it and checks the key by reading the schema.
sqlite3 *openDatabaseFile(const QString &path, const QString &password);
// The error of a result code on db (which may be null), as DbError.
[[noreturn]] void raiseSqlite(sqlite3 *db, int rc);
