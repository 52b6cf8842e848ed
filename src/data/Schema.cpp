#include "data/Schema.h"

#include <algorithm>
#include <stdexcept>

#include <QFile>
#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include "SchemaText.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/PgEngine.h"
#include "data/SqliteEngine.h"

namespace Schema {

namespace {

enum class Section { Both, File, Server };

struct Parsed
{
    std::vector<Statement> file;
    std::vector<Statement> server;
};

// The statements of one part of schema.sql, comments already gone.
std::vector<Statement> parseStatements(const QString &text)
{
    static const QRegularExpression create(
        QStringLiteral("^\\s*create\\s+(unique\\s+)?(table|index|trigger)\\s+"
                       "(if\\s+not\\s+exists\\s+)?\\[?(\\w+)\\]?"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression addColumn(
        QStringLiteral("^\\s*alter\\s+table\\s+\\[?(\\w+)\\]?\\s+add\\s+(column\\s+)?"
                       "\\[?(\\w+)\\]?"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression end(QStringLiteral("\\bend\\s*$"),
                                        QRegularExpression::CaseInsensitiveOption);
    std::vector<Statement> out;
    const QStringList parts = text.split(QLatin1Char(';'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString sql = parts.at(i).trimmed();
        if (sql.isEmpty())
            continue;
        Statement s;
        const QRegularExpressionMatch c = create.match(sql);
        const QRegularExpressionMatch a = addColumn.match(sql);
        if (c.hasMatch()) {
            const QString kind = c.captured(2).toLower();
            s.kind = kind == QLatin1String("table")   ? Statement::Table
                     : kind == QLatin1String("index") ? Statement::Index
                                                      : Statement::Trigger;
            s.name = c.captured(4);
            // A trigger's body holds statements of its own, up to its END.
            while (s.kind == Statement::Trigger && !end.match(sql).hasMatch()
                   && i + 1 < parts.size())
                sql += QLatin1Char(';') + parts.at(++i);
        } else if (a.hasMatch()) {
            s.kind = Statement::Column;
            s.owner = a.captured(1);
            s.name = a.captured(3);
        } else {
            throw std::logic_error("schema.sql holds a statement it cannot name");
        }
        s.table = s.kind == Statement::Table;
        s.sql = sql.trimmed();
        out.push_back(s);
    }
    return out;
}

// schema.sql in its sections: "-- @file" and "-- @server" lines start what
// only one engine holds, "-- @both" what both hold again.
const Parsed &parsed()
{
    static const Parsed all = [] {
        Parsed out;
        static const QRegularExpression marker(
            QStringLiteral("^\\s*--\\s*@(file|server|both)\\b"));
        static const QRegularExpression comment(QStringLiteral("--[^\\n]*"));
        const auto flush = [&out](QString &text, Section section) {
            // Comments go first, so a ";" inside one cannot split a statement.
            text.remove(comment);
            for (const Statement &s : parseStatements(text)) {
                if (section != Section::Server)
                    out.file.push_back(s);
                if (section != Section::File)
                    out.server.push_back(s);
            }
            text.clear();
        };
        Section section = Section::Both;
        QString text;
        for (const QString &line : QString::fromUtf8(kSchemaText).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = marker.match(line);
            if (!m.hasMatch()) {
                text += line + QLatin1Char('\n');
                continue;
            }
            flush(text, section);
            const QString which = m.captured(1);
            section = which == QLatin1String("file")     ? Section::File
                      : which == QLatin1String("server") ? Section::Server
                                                         : Section::Both;
        }
        flush(text, section);
        return out;
    }();
    return all;
}

// Blanks collapsed and letter case gone: two texts of one definition compare equal.
QString normalized(const QString &sql)
{
    return sql.simplified().remove(QLatin1Char('[')).remove(QLatin1Char(']')).toLower();
}

} // namespace

const std::vector<Statement> &statements()
{
    return parsed().file;
}

const std::vector<Statement> &serverStatements()
{
    return parsed().server;
}

const std::vector<Statement> &earlierStatements()
{
    static const std::vector<Statement> all = parseStatements(QStringLiteral(
        "CREATE INDEX PatientRecordsLastName\n"
        "    ON PatientRecords (FoldCase(LastName), PatientID, LastName, FirstName);\n"
        "CREATE INDEX PatientRecordsFirstName\n"
        "    ON PatientRecords (FoldCase(FirstName), PatientID, FirstName, LastName);\n"));
    return all;
}

const std::vector<Statement> &earlierServerStatements()
{
    static const std::vector<Statement> all = parseStatements(QStringLiteral(
        "CREATE INDEX PatientRecordsLastName ON PatientRecords\n"
        "    ((lower(coalesce(LastName, '')) COLLATE \"C\"),\n"
        "     PatientID, LastName, FirstName);\n"
        "CREATE INDEX PatientRecordsFirstName ON PatientRecords\n"
        "    ((lower(coalesce(FirstName, '')) COLLATE \"C\"),\n"
        "     PatientID, FirstName, LastName);\n"));
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
                shape.types << QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt, 2)));
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

const QHash<QString, QString> &foldedColumns()
{
    static const QHash<QString, QString> columns = [] {
        QHash<QString, QString> out;
        for (const Statement &s : statements()) {
            if (s.kind == Statement::Column && s.name.startsWith(QLatin1String("Folded")))
                out.insert(s.name.mid(6).toLower(), s.name);
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
        for (const Statement &s : serverStatements()) {
            if (!s.table)
                n.canonical.insert(s.name.toLower(), s.name);
        }
        n.folded = foldedColumns();
        return n;
    }();
    return names;
}

namespace {

// A trigger that refuses a change, as the server writes it: a function that
// raises the same text, run once per statement (so a TRUNCATE is refused as a
// DELETE is). Any other trigger has no server form.
QString postgresTrigger(const QString &schemaSql)
{
    static const QRegularExpression abort(
        QStringLiteral("^create\\s+trigger\\s+\\[?(\\w+)\\]?\\s+before\\s+(update|delete|insert)"
                       "\\s+on\\s+\\[?(\\w+)\\]?\\s+begin\\s+select\\s+raise\\s*\\(\\s*abort\\s*,"
                       "\\s*'((?:[^']|'')*)'\\s*\\)\\s*;\\s*end$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = abort.match(schemaSql.trimmed());
    if (!m.hasMatch())
        throw std::logic_error("schema.sql holds a trigger that has no server form");
    const QString name = m.captured(1);
    QString event = m.captured(2).toUpper();
    if (event == QLatin1String("DELETE"))
        event += QStringLiteral(" OR TRUNCATE");
    QString text = m.captured(4);
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QStringLiteral("CREATE OR REPLACE FUNCTION \"%1\"() RETURNS trigger LANGUAGE plpgsql "
                          "AS $body$ BEGIN RAISE EXCEPTION '%2'; END $body$; "
                          "CREATE OR REPLACE TRIGGER \"%1\" BEFORE %3 ON \"%4\" "
                          "FOR EACH STATEMENT EXECUTE FUNCTION \"%1\"()")
        .arg(name, text, event,
             postgresNames().canonical.value(m.captured(3).toLower(), m.captured(3)));
}

} // namespace

QString postgresStatementFor(const QString &schemaSql)
{
    static const QRegularExpression trigger(QStringLiteral("^\\s*create\\s+trigger\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (trigger.match(schemaSql).hasMatch())
        return postgresTrigger(schemaSql);
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

namespace {

QStringList firstColumn(Engine &engine, const QString &sql, int column = 0)
{
    const ResultRows rows = engine.query(sql, false);
    QStringList out;
    for (size_t i = size_t(column); i < rows.cells.size(); i += size_t(rows.cols))
        out << rows.value(rows.cells[i]).toString().toLower();
    return out;
}

// The lower-case names of the columns of table.
QStringList columnsOf(Engine &engine, const QString &table)
{
    if (engine.isServer())
        return firstColumn(engine, QStringLiteral("select column_name from "
                                                  "information_schema.columns where "
                                                  "table_schema = current_schema() and "
                                                  "table_name = '%1'")
                                       .arg(table));
    return firstColumn(engine, QStringLiteral("PRAGMA table_info('%1')").arg(table), 1);
}

// The indexes of this version's names that the database holds in another
// definition (an earlier version's).
QStringList outdatedIndexes(Engine &engine, const std::vector<Statement> &wanted)
{
    QStringList out;
    if (engine.isServer()) {
        // The server words its definitions its own way: this version's name
        // indexes are the ones on the folded columns.
        const ResultRows rows = engine.query(
            QStringLiteral("select indexname, indexdef from pg_indexes where schemaname = "
                           "current_schema()"),
            false);
        for (size_t i = 0; i + 1 < rows.cells.size(); i += size_t(rows.cols)) {
            const QString name = rows.value(rows.cells[i]).toString();
            const QString definition = rows.value(rows.cells[i + 1]).toString();
            for (const Statement &s : wanted) {
                if (s.kind == Statement::Index && s.sql.contains(QLatin1String("Folded"))
                    && s.name.compare(name, Qt::CaseInsensitive) == 0
                    && !definition.contains(QLatin1String("Folded")))
                    out << s.name;
            }
        }
        return out;
    }
    const ResultRows rows = engine.query(
        QStringLiteral("select name, sql from sqlite_master where type = 'index' and sql is not "
                       "null"),
        false);
    for (size_t i = 0; i + 1 < rows.cells.size(); i += size_t(rows.cols)) {
        const QString name = rows.value(rows.cells[i]).toString();
        const QString definition = normalized(rows.value(rows.cells[i + 1]).toString());
        for (const Statement &s : wanted) {
            if (s.kind == Statement::Index && s.name.compare(name, Qt::CaseInsensitive) == 0
                && normalized(s.sql) != definition)
                out << s.name;
        }
    }
    return out;
}

bool foldedNamesMissing(Engine &engine)
{
    if (engine.isServer())
        return false;
    const QStringList columns = columnsOf(engine, QStringLiteral("PatientRecords"));
    for (const QString &folded : foldedColumns()) {
        if (!columns.contains(folded.toLower()))
            return false;
    }
    return !engine.query(QStringLiteral("select 1 from PatientRecords where FoldedLastName is "
                                        "null or FoldedFirstName is null limit 1"),
                         false)
                .cells.empty();
}

QString columnDefinition(const TableShape &table, int column)
{
    QString sql = QStringLiteral("[%1] %2").arg(table.columns.at(column), table.types.at(column));
    if (table.nocase.contains(table.columns.at(column), Qt::CaseInsensitive))
        sql += QStringLiteral(" COLLATE NOCASE");
    return sql;
}

struct Plan
{
    QStringList outdated;
    std::vector<Statement> lacking;
    bool fill = false;
    bool empty() const { return outdated.isEmpty() && lacking.empty() && !fill; }
};

Plan planFor(Engine &engine)
{
    const std::vector<Statement> &wanted = engine.isServer() ? serverStatements() : statements();
    Plan plan;
    plan.outdated = outdatedIndexes(engine, wanted);
    QStringList present = engine.schemaObjects();
    QHash<QString, QStringList> columns;
    for (const Statement &s : wanted) {
        bool there = false;
        if (s.kind == Statement::Column) {
            if (!columns.contains(s.owner))
                columns.insert(s.owner, columnsOf(engine, s.owner));
            there = columns.value(s.owner).contains(s.name.toLower());
        } else {
            there = present.contains(s.name.toLower()) && !plan.outdated.contains(s.name);
        }
        if (!there)
            plan.lacking.push_back(s);
        if (!there || s.kind != Statement::Table)
            continue;
        // A table made by an older version gains the columns its definition
        // has added since.
        if (!columns.contains(s.name))
            columns.insert(s.name, columnsOf(engine, s.name));
        for (const TableShape &table : tables()) {
            if (table.name != s.name)
                continue;
            for (int c = 0; c < table.columns.size(); ++c) {
                if (columns.value(s.name).contains(table.columns.at(c).toLower()))
                    continue;
                Statement add;
                add.kind = Statement::Column;
                add.owner = table.name;
                add.name = table.columns.at(c);
                add.sql = QStringLiteral("ALTER TABLE [%1] ADD COLUMN %2")
                              .arg(table.name, columnDefinition(table, c));
                plan.lacking.push_back(add);
            }
        }
    }
    // A file gaining the folded columns fills them all; otherwise only the
    // rows another tool wrote.
    plan.fill = !engine.isServer()
                && (std::any_of(plan.lacking.begin(), plan.lacking.end(),
                                [](const Statement &s) {
                                    return s.kind == Statement::Column
                                           && s.name.startsWith(QLatin1String("Folded"));
                                })
                    || foldedNamesMissing(engine));
    return plan;
}

} // namespace

QStringList lacking(Engine &engine)
{
    QStringList names;
    const Plan plan = planFor(engine);
    names << plan.outdated;
    for (const Statement &s : plan.lacking)
        names << (s.kind == Statement::Column ? s.owner + QLatin1Char('.') + s.name : s.name);
    return names;
}

bool mayChangeSchema(Engine &engine)
{
    auto *server = dynamic_cast<PgEngine *>(&engine);
    if (!server)
        return true;
    // The owner of the patients' table owns the schema; on an empty database,
    // whoever may create tables in it.
    const QString table = QStringLiteral(
        "(select c.relowner from pg_class c where lower(c.relname) = 'patientrecords' and "
        "c.relkind = 'r' and c.relnamespace = (select oid from pg_namespace where nspname = "
        "current_schema()))");
    const ResultRows rows =
        server->queryRaw(QStringLiteral("select coalesce(pg_has_role(%1, 'USAGE'), "
                                        "has_schema_privilege(current_schema(), 'CREATE'))")
                             .arg(table));
    return !rows.cells.empty() && rows.value(rows.cells.front()).toBool();
}

void createMissing(Connection &db, const Progress &progress)
{
    Engine &engine = db.engine();
    if (planFor(engine).empty())
        return;
    // Another workstation may be doing the same: look again under the lock.
    Transaction transaction(db);
    const Plan plan = planFor(engine);
    // The indexes come after the folded names are in: one build, not a
    // change of the index for every row.
    std::vector<const Statement *> first;
    std::vector<const Statement *> indexes;
    for (const Statement &s : plan.lacking)
        (s.kind == Statement::Index ? indexes : first).push_back(&s);
    const int total = int(plan.outdated.size() + plan.lacking.size()) + (plan.fill ? 1 : 0);
    int done = 0;
    const auto step = [&](const QString &name) {
        if (progress)
            progress(name, done++, total);
    };
    for (const QString &name : plan.outdated) {
        step(name);
        engine.execute(QStringLiteral("DROP INDEX [%1]").arg(name));
    }
    for (const Statement *s : first) {
        step(s->name);
        engine.createSchemaObject(s->sql);
    }
    if (plan.fill) {
        step(QStringLiteral("PatientRecords"));
        fillFoldedNamesOn(dynamic_cast<SqliteEngine &>(engine).handle());
    }
    for (const Statement *s : indexes) {
        step(s->name);
        engine.createSchemaObject(s->sql);
    }
    transaction.commit();
    if (progress && total > 0)
        progress(QString(), total, total);
}

void fillFoldedNames(Connection &db, const Progress &progress)
{
    auto *file = dynamic_cast<SqliteEngine *>(&db.engine());
    if (!file)
        return;
    Transaction transaction(db);
    if (progress)
        progress(QStringLiteral("PatientRecords"), 0, 1);
    fillFoldedNamesOn(file->handle());
    transaction.commit();
    if (progress)
        progress(QString(), 1, 1);
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

namespace Schema {

QString serverScript(const QString &owner, const QString &desks)
{
    const auto quoted = [](const QString &name) {
        return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""))
            + QLatin1Char('"');
    };
    static const QRegularExpression create(
        QStringLiteral("^\\s*CREATE\\s+(UNIQUE\\s+)?(TABLE|INDEX)\\s+"),
        QRegularExpression::CaseInsensitiveOption);
    // The desks read and write the records and accounts, and only add to the
    // trail; none of them may change a table's definition.
    QStringList sql;
    sql << QStringLiteral("SET client_min_messages = warning")
        << QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC")
        << QStringLiteral("GRANT USAGE ON SCHEMA public TO %1").arg(quoted(desks))
        << QStringLiteral("SET ROLE %1").arg(quoted(owner));
    static const QRegularExpression addColumn(QStringLiteral("ADD\\s+COLUMN\\s+"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (const Statement &s : serverStatements()) {
        QString statement = postgresStatementFor(s.sql);
        if (s.kind == Statement::Index && s.sql.contains(QLatin1String("Folded"))) {
            // An earlier version's name index of the same name gives way.
            sql << QStringLiteral("DO $drop$ BEGIN IF EXISTS (SELECT 1 FROM pg_indexes WHERE "
                                  "schemaname = current_schema() AND indexname = '%1' AND "
                                  "indexdef NOT LIKE '%%Folded%%') THEN EXECUTE 'DROP INDEX "
                                  "%2'; END IF; END $drop$")
                       .arg(s.name, quoted(s.name));
        }
        const QRegularExpressionMatch m = create.match(statement);
        if (m.hasMatch())
            statement.insert(m.capturedEnd(), QStringLiteral("IF NOT EXISTS "));
        if (s.kind == Statement::Column)
            statement.replace(addColumn, QStringLiteral("ADD COLUMN IF NOT EXISTS "));
        sql << statement;
        if (!s.table)
            continue;
        for (const TableShape &table : tables()) {
            if (table.name != s.name)
                continue;
            for (int c = 0; c < table.columns.size(); ++c) {
                QString add = postgresStatementFor(
                    QStringLiteral("ALTER TABLE [%1] ADD COLUMN %2")
                        .arg(table.name, columnDefinition(table, c)));
                add.replace(addColumn, QStringLiteral("ADD COLUMN IF NOT EXISTS "));
                sql << add;
            }
        }
    }
    for (const TableShape &table : tables()) {
        const bool trail = table.name == QLatin1String("AuditTrail");
        sql << QStringLiteral("REVOKE ALL ON %1 FROM PUBLIC, %2")
                   .arg(quoted(table.name), quoted(desks))
            << QStringLiteral("GRANT %1 ON %2 TO %3")
                   .arg(trail ? QStringLiteral("SELECT, INSERT")
                              : QStringLiteral("SELECT, INSERT, UPDATE, DELETE"),
                        quoted(table.name), quoted(desks));
    }
    sql << QStringLiteral("RESET ROLE");
    return sql.join(QStringLiteral(";\n")) + QStringLiteral(";\n");
}

} // namespace Schema
