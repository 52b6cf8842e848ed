#include "data/Schema.h"

#include <stdexcept>

#include <QFile>
#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include "SchemaText.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/SqliteEngine.h"

namespace Schema {

const std::vector<Statement> &statements()
{
    static const std::vector<Statement> all = [] {
        std::vector<Statement> out;
        // Comments go first, so a ";" inside one cannot split a statement.
        QString text = QString::fromUtf8(kSchemaText);
        text.remove(QRegularExpression(QStringLiteral("--[^\\n]*")));
        static const QRegularExpression head(
            QStringLiteral("^\\s*create\\s+(unique\\s+)?(table|index)\\s+(if\\s+not\\s+exists\\s+)?"
                           "\\[?(\\w+)\\]?"),
            QRegularExpression::CaseInsensitiveOption);
        for (const QString &part : text.split(QLatin1Char(';'))) {
            const QString sql = part.trimmed();
            if (sql.isEmpty())
                continue;
            const QRegularExpressionMatch m = head.match(sql);
            if (!m.hasMatch())
                throw std::logic_error("schema.sql holds a statement that is not a table or index");
            out.push_back({m.captured(2).compare(QLatin1String("table"), Qt::CaseInsensitive) == 0,
                           m.captured(4), sql});
        }
        return out;
    }();
    return all;
}

const std::vector<TableShape> &tables()
{
    static const std::vector<TableShape> all = [] {
        // The engine itself reads the column lists from the statements.
        sqlite3 *db = nullptr;
        sqlite3_open(":memory:", &db);
        registerSqlFunctions(db);
        std::vector<TableShape> out;
        for (const Statement &s : statements()) {
            if (!s.table)
                continue;
            execOn(db, s.sql);
            TableShape shape{s.name, {}, {}};
            static const QRegularExpression nocase(
                QStringLiteral("(\\w+)\\s+TEXT\\s+COLLATE\\s+NOCASE"),
                QRegularExpression::CaseInsensitiveOption);
            for (auto m = nocase.globalMatch(s.sql); m.hasNext();)
                shape.nocase << m.next().captured(1);
            sqlite3_stmt *stmt = nullptr;
            const QByteArray q =
                QStringLiteral("PRAGMA table_info('%1')").arg(s.name).toUtf8();
            sqlite3_prepare_v2(db, q.constData(), q.size(), &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const QString column = QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1)));
                shape.columns << column;
                if (sqlite3_column_int(stmt, 5) == 1)
                    shape.key = column;
            }
            sqlite3_finalize(stmt);
            out.push_back(shape);
        }
        sqlite3_close(db);
        return out;
    }();
    return all;
}

const QSet<QString> &foldedColumns()
{
    static const QSet<QString> columns = [] {
        QSet<QString> out;
        static const QRegularExpression folded(
            QStringLiteral("FoldCase\\(\\s*\\[?(\\w+)\\]?\\s*\\)"),
            QRegularExpression::CaseInsensitiveOption);
        for (const Statement &s : statements()) {
            if (s.table)
                continue;
            for (auto m = folded.globalMatch(s.sql); m.hasNext();)
                out.insert(m.next().captured(1).toLower());
        }
        return out;
    }();
    return columns;
}

const PostgresNames &postgresNames()
{
    static const PostgresNames names = [] {
        PostgresNames n;
        for (const TableShape &table : tables()) {
            n.canonical.insert(table.name.toLower(), table.name);
            for (const QString &column : table.columns)
                n.canonical.insert(column.toLower(), column);
            for (const QString &column : table.nocase)
                n.nocase.insert(column.toLower());
        }
        for (const Statement &s : statements()) {
            if (!s.table)
                n.canonical.insert(s.name.toLower(), s.name);
        }
        n.folded = foldedColumns();
        return n;
    }();
    return names;
}

QString postgresStatementFor(const QString &schemaSql)
{
    QString sql = schemaSql;
    // The column types as the server names them; ids stay 64-bit integers.
    sql.replace(QRegularExpression(QStringLiteral("\\s+COLLATE\\s+NOCASE\\b"),
                                   QRegularExpression::CaseInsensitiveOption),
                QString());
    const std::pair<const char *, const char *> types[] = {
        {"INTEGER", "bigint"}, {"TEXT", "text"}, {"BLOB", "bytea"}};
    for (const auto &[from, to] : types)
        sql.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QLatin1String(from))),
                    QLatin1String(to));
    return translateSqlForPostgres(sql, postgresNames());
}

QStringList missingTables(Connection &db)
{
    const QStringList present = db.engine().schemaObjects();
    QStringList missing;
    for (const QString &table : requiredTables()) {
        if (!present.contains(table.toLower()))
            missing << table;
    }
    return missing;
}

void createMissing(Connection &db, const Progress &progress)
{
    Engine &engine = db.engine();
    const auto lacking = [&] {
        const QStringList present = engine.schemaObjects();
        std::vector<const Statement *> wanted;
        for (const Statement &s : statements()) {
            if (!present.contains(s.name.toLower()))
                wanted.push_back(&s);
        }
        return wanted;
    };
    if (lacking().empty())
        return;
    // Another workstation may be adding the same things: look again under the lock.
    Transaction transaction(db);
    const std::vector<const Statement *> wanted = lacking();
    const int total = int(wanted.size());
    int done = 0;
    for (const Statement *s : wanted) {
        if (progress)
            progress(s->name, done++, total);
        engine.createSchemaObject(s->sql);
    }
    transaction.commit();
    if (progress && total > 0)
        progress(QString(), total, total);
}

QStringList requiredTables()
{
    return {QStringLiteral("PatientRecords"), QStringLiteral("MedicalHistory"),
            QStringLiteral("Users"), QStringLiteral("UserLog")};
}

void createDatabaseFile(const QString &path)
{
    if (QFile::exists(path))
        throw DbError(3204, QStringLiteral("The file '%1' already exists.").arg(path));
    {
        // The engine opens only files that exist: an empty file is an empty database.
        QFile empty(path);
        if (!empty.open(QIODevice::WriteOnly))
            throw DbError(3051, QStringLiteral("Could not create '%1': %2")
                                    .arg(path, empty.errorString()));
    }
    try {
        Connection conn;
        conn.Open(path, QString());
        Transaction transaction(conn);
        for (const Statement &s : statements())
            conn.engine().createSchemaObject(s.sql);
        transaction.commit();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

} // namespace Schema
