#include "data/Schema.h"

#include <stdexcept>

#include <QFile>
#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include "SchemaText.h"
#include "data/Connection.h"
#include "data/DbError.h"
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
            TableShape shape{s.name, {}};
            sqlite3_stmt *stmt = nullptr;
            const QByteArray q =
                QStringLiteral("PRAGMA table_info('%1')").arg(s.name).toUtf8();
            sqlite3_prepare_v2(db, q.constData(), q.size(), &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                shape.columns << QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1)));
            sqlite3_finalize(stmt);
            out.push_back(shape);
        }
        sqlite3_close(db);
        return out;
    }();
    return all;
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
            conn.Execute(s.sql);
        transaction.commit();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

} // namespace Schema
