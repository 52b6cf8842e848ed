#include "maintenance/RestoreSource.h"

#include <map>

#include <QFileInfo>
#include <QSet>

#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"

namespace RestoreSource {
namespace {

// Definitions that earlier versions created and no upgrade replaced: an older
// file still holds them as they were made.
const char *const kEarlierDefinitions[] = {
    "CREATE INDEX PatientRecordsLastName ON PatientRecords (FoldCase(LastName), PatientID)",
    "CREATE INDEX PatientRecordsFirstName ON PatientRecords (FoldCase(FirstName), PatientID)",
    "CREATE INDEX PatientRecordsLastName ON PatientRecords (FoldCase(LastName), PatientID, "
    "LastName)",
    "CREATE INDEX PatientRecordsFirstName ON PatientRecords (FoldCase(FirstName), PatientID, "
    "FirstName)",
};

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Names and keywords in lower case without their quotes, string literals as
// they stand, every other sign on its own.
QStringList tokens(const QString &sql)
{
    QStringList out;
    const int n = int(sql.size());
    for (int i = 0; i < n;) {
        const QChar c = sql.at(i);
        if (c.isSpace()) {
            ++i;
        } else if (sql.mid(i, 2) == QLatin1String("--")) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (sql.mid(i, 2) == QLatin1String("/*")) {
            const int end = int(sql.indexOf(QLatin1String("*/"), i + 2));
            i = end < 0 ? n : end + 2;
        } else if (isNameStart(c)) {
            int j = i;
            while (j < n && isNamePart(sql.at(j)))
                ++j;
            out << sql.mid(i, j - i).toLower();
            i = j;
        } else if (c.isDigit()) {
            int j = i;
            while (j < n && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('.')))
                ++j;
            out << sql.mid(i, j - i).toLower();
            i = j;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')
                   || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            QString text;
            int j = i + 1;
            for (; j < n; ++j) {
                if (sql.at(j) == close) {
                    // A doubled quote is one quote inside the text.
                    if (close != QLatin1Char(']') && j + 1 < n && sql.at(j + 1) == close) {
                        text += close;
                        ++j;
                        continue;
                    }
                    break;
                }
                text += sql.at(j);
            }
            i = j + 1;
            if (c == QLatin1Char('\''))
                out << QLatin1Char('\'') + text + QLatin1Char('\'');
            else
                out << QLatin1Char('"') + text.toLower() + QLatin1Char('"');
        } else {
            out << QString(c);
            ++i;
        }
    }
    // A quoted name is the same name unquoted when it could be written so.
    for (QString &t : out) {
        if (t.startsWith(QLatin1Char('"')) && t.size() > 2) {
            const QString inner = t.mid(1, t.size() - 2);
            bool plain = isNameStart(inner.at(0));
            for (QChar ch : inner)
                plain = plain && isNamePart(ch);
            if (plain)
                t = inner;
        }
    }
    return out;
}

struct Definition
{
    QString kind; // "table", "index", "trigger", "view"; "" when it is none of these
    QString name; // lower case
    QStringList tokens;
};

Definition definitionOf(const QString &sql)
{
    Definition d;
    d.tokens = tokens(sql);
    const QStringList &t = d.tokens;
    int at = 0;
    if (t.value(at) != QLatin1String("create"))
        return d;
    ++at;
    if (t.value(at) == QLatin1String("unique") && t.value(at + 1) == QLatin1String("index"))
        ++at;
    const QString kind = t.value(at++);
    if (kind != QLatin1String("table") && kind != QLatin1String("index")
        && kind != QLatin1String("trigger") && kind != QLatin1String("view"))
        return d;
    if (t.value(at) == QLatin1String("if") && t.value(at + 1) == QLatin1String("not")
        && t.value(at + 2) == QLatin1String("exists"))
        at += 3;
    d.kind = kind;
    d.name = t.value(at);
    if (d.name.startsWith(QLatin1Char('"')))
        d.name = d.name.mid(1, d.name.size() - 2);
    return d;
}

// A table's definition taken apart: its columns and the rest.
struct TableParts
{
    bool wellFormed = false;
    std::vector<std::pair<QString, QString>> columns; // name, definition
    QStringList constraints;                          // table constraints
    QString options;                                  // what follows the closing parenthesis
};

TableParts partsOf(const Definition &d)
{
    TableParts parts;
    const QStringList &t = d.tokens;
    const int open = int(t.indexOf(QStringLiteral("(")));
    if (open < 0)
        return parts;
    int depth = 0;
    QStringList current;
    const auto finish = [&] {
        if (current.isEmpty())
            return;
        static const QSet<QString> constraintWords = {
            QStringLiteral("constraint"), QStringLiteral("primary"), QStringLiteral("unique"),
            QStringLiteral("check"), QStringLiteral("foreign")};
        if (constraintWords.contains(current.first()))
            parts.constraints << current.join(QLatin1Char(' '));
        else
            parts.columns.emplace_back(current.first(), current.join(QLatin1Char(' ')));
        current.clear();
    };
    for (int i = open; i < t.size(); ++i) {
        const QString &token = t.at(i);
        if (token == QLatin1String("(")) {
            if (depth++ == 0)
                continue;
        } else if (token == QLatin1String(")")) {
            if (--depth == 0) {
                finish();
                parts.options = t.mid(i + 1).join(QLatin1Char(' '));
                parts.wellFormed = true;
                return parts;
            }
        } else if (token == QLatin1String(",") && depth == 1) {
            finish();
            continue;
        }
        current << token;
    }
    return parts;
}

struct KnownTable
{
    std::map<QString, QSet<QString>> columns; // lower name -> accepted definitions
    QSet<QString> constraints;
    QSet<QString> options;
};

struct Known
{
    std::map<QString, KnownTable> tables;
    std::map<QString, QSet<QString>> objects; // "kind name" -> accepted definitions
};

void learn(Known &known, const QString &sql)
{
    // A column added to a table later stands in the table's definition as it
    // was written here.
    const QStringList added = tokens(sql);
    if (added.value(0) == QLatin1String("alter") && added.value(1) == QLatin1String("table")
        && added.value(3) == QLatin1String("add")) {
        const int at = added.value(4) == QLatin1String("column") ? 5 : 4;
        const QStringList definition = added.mid(at);
        if (!definition.isEmpty())
            known.tables[added.value(2)].columns[definition.first()].insert(
                definition.join(QLatin1Char(' ')));
        return;
    }
    const Definition d = definitionOf(sql);
    if (d.kind.isEmpty())
        return;
    if (d.kind != QLatin1String("table")) {
        known.objects[d.kind + QLatin1Char(' ') + d.name].insert(d.tokens.join(QLatin1Char(' ')));
        return;
    }
    const TableParts parts = partsOf(d);
    KnownTable &table = known.tables[d.name];
    for (const auto &[column, definition] : parts.columns)
        table.columns[column].insert(definition);
    for (const QString &constraint : parts.constraints)
        table.constraints.insert(constraint);
    table.options.insert(parts.options);
}

// One table of what every version creates: this version's schema (whatever it
// holds once it grows) and the earlier forms above.
const Known &known()
{
    static const Known all = [] {
        Known k;
        for (const Schema::Statement &s : Schema::statements())
            learn(k, s.sql);
        for (const Schema::Statement &s : Schema::earlierStatements())
            learn(k, s.sql);
        for (const char *sql : kEarlierDefinitions)
            learn(k, QString::fromUtf8(sql));
        return k;
    }();
    return all;
}

// SQLite's own tables: plain lists of untyped columns, nothing that runs.
bool isSqliteTable(const QString &name, const Definition &d)
{
    static const QSet<QString> own = {
        QStringLiteral("sqlite_sequence"), QStringLiteral("sqlite_stat1"),
        QStringLiteral("sqlite_stat2"), QStringLiteral("sqlite_stat3"),
        QStringLiteral("sqlite_stat4")};
    if (!own.contains(name.toLower()) || d.kind != QLatin1String("table")
        || d.name != name.toLower())
        return false;
    const TableParts parts = partsOf(d);
    if (!parts.wellFormed || !parts.constraints.isEmpty() || !parts.options.isEmpty())
        return false;
    for (const auto &[column, definition] : parts.columns) {
        if (definition != column)
            return false;
    }
    return true;
}

// A column as the schema writes it; one it does not know as the file has it.
QString shownColumn(sqlite3 *db, const QString &table, const QString &column)
{
    for (const Schema::TableShape &shape : Schema::tables()) {
        if (shape.name.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        for (const QString &name : shape.columns) {
            if (name.compare(column, Qt::CaseInsensitive) == 0)
                return name;
        }
    }
    QString shown = column;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql =
        QStringLiteral("PRAGMA table_info(\"%1\")")
            .arg(QString(table).replace(QLatin1Char('"'), QStringLiteral("\"\"")))
            .toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const QString name =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1)));
            if (name.compare(column, Qt::CaseInsensitive) == 0)
                shown = name;
        }
    }
    sqlite3_finalize(stmt);
    return shown;
}

QString text(sqlite3_stmt *stmt, int column)
{
    const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

QString normalised(const QString &sql)
{
    return tokens(sql).join(QLatin1Char(' '));
}

QString foreignObject(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select type, name, sql from sqlite_master", -1, &stmt, nullptr)
        != SQLITE_OK)
        throw DbError(sqlite3_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
    QString found;
    const Known &k = known();
    while (found.isEmpty() && sqlite3_step(stmt) == SQLITE_ROW) {
        const QString type = text(stmt, 0).toLower();
        const QString name = text(stmt, 1);
        const bool hasSql = sqlite3_column_type(stmt, 2) != SQLITE_NULL;
        const Definition d = definitionOf(text(stmt, 2));
        const QString shownKind = d.kind.isEmpty() ? type : d.kind;
        const QString named = shownKind + QLatin1Char(' ') + name;
        // The index SQLite makes for a key or unique column has no text of its
        // own; the column's definition is checked with its table.
        if (!hasSql) {
            if (type != QLatin1String("index")
                || !name.startsWith(QLatin1String("sqlite_autoindex_"), Qt::CaseInsensitive))
                found = named;
            continue;
        }
        // The listed type and the definition that runs must agree.
        if (d.kind != type || d.name != name.toLower()) {
            found = named;
            continue;
        }
        if (isSqliteTable(name, d))
            continue;
        if (d.kind != QLatin1String("table")) {
            const auto it = k.objects.find(d.kind + QLatin1Char(' ') + d.name);
            if (it == k.objects.end() || !it->second.contains(d.tokens.join(QLatin1Char(' '))))
                found = named;
            continue;
        }
        const auto table = k.tables.find(d.name);
        const TableParts parts = partsOf(d);
        if (table == k.tables.end() || !parts.wellFormed
            || !table->second.options.contains(parts.options)) {
            found = named;
            continue;
        }
        for (const QString &constraint : parts.constraints) {
            if (found.isEmpty() && !table->second.constraints.contains(constraint))
                found = named;
        }
        for (const auto &[column, definition] : parts.columns) {
            if (!found.isEmpty())
                break;
            const auto accepted = table->second.columns.find(column);
            if (accepted == table->second.columns.end() || !accepted->second.contains(definition))
                found = QStringLiteral("column %1.%2").arg(name, shownColumn(db, name, column));
        }
    }
    sqlite3_finalize(stmt);
    return found;
}

QString problem(const QString &source, const QString &password,
                const DatabaseFiles::Progress &progress)
{
    if (QFileInfo(source).isFile()) {
        try {
            Connection conn;
            conn.Open(source, password);
            const QString foreign = foreignObject(conn.handle());
            if (!foreign.isEmpty())
                return QStringLiteral("'%1' is not a Medlantis database: it holds %2.")
                    .arg(source, foreign);
        } catch (const DbError &) {
            // A file that does not open is told of as unusable below.
        }
    }
    if (!DatabaseFiles::isUsableDatabase(source, password, progress))
        return QStringLiteral("The selected file is not a usable Medlantis database. "
                              "Nothing was restored.");
    return QString();
}

} // namespace RestoreSource
