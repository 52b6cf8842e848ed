#pragma once

#include <QString>

struct sqlite3;

// The one database connection of the process, over SQLCipher. SQL arrives as
// the windows build it and goes through translateSql first. A non-empty
// password is the encryption key; an empty one means a plain file.
class Connection
{
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // 0 = closed, 1 = open.
    int State() const { return m_db ? 1 : 0; }

    // Opens an existing database file; never creates one. Throws DbError.
    void Open(const QString &path, const QString &password);
    void Close();

    // Runs statements that return no rows. Throws DbError.
    void Execute(const QString &sql);

    QString path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

    // Throws DbError (number 3704) when the connection is closed.
    sqlite3 *requireOpen() const;

    // Turns an SQLite result code of this connection into a DbError.
    [[noreturn]] void raise(int rc) const;

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
};

// Work that must happen whole: rolls back unless committed. IMMEDIATE takes the
// write lock at once, so two workstations never deadlock halfway.
class Transaction
{
public:
    explicit Transaction(Connection &conn);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_conn;
    bool m_done = false;
};

// Re-encrypts a database file with a new password (empty = plain file).
// The file is rewritten beside itself and renamed over the original, so a
// failure leaves the original untouched. Throws DbError.
void changeDatabasePassword(const QString &path, const QString &oldPassword,
                            const QString &newPassword);

// True when the file opens with the password and holds a readable schema.
bool databaseOpens(const QString &path, const QString &password);

// The SQLCipher version, or "" when the engine cannot be used.
QString cipherVersion();
