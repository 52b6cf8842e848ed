#include "maintenance/BulkCopy.h"

#include <cstring>
#include <memory>
#include <vector>

#include <QVariant>
#include <QtEndian>

#include <sqlcipher/sqlite3.h>

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/PgCopy.h"
#include "data/PgEngine.h"

namespace BulkCopy {
namespace {

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

[[noreturn]] void raise(sqlite3 *db)
{
    throw DbError(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

Statement prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        raise(db);
    return Statement(stmt, &sqlite3_finalize);
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

qint64 integerOf(const PgCopy::Field &f)
{
    switch (f.length) {
    case 2:
        return qFromBigEndian<qint16>(f.data);
    case 4:
        return qFromBigEndian<qint32>(f.data);
    default:
        return qFromBigEndian<qint64>(f.data);
    }
}

double realOf(const PgCopy::Field &f)
{
    if (f.length == 4) {
        const quint32 bits = qFromBigEndian<quint32>(f.data);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    const quint64 bits = qFromBigEndian<quint64>(f.data);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace

QStringList serverSelectList(const Schema::TableShape &table)
{
    QStringList select;
    for (const QString &column : table.columns)
        select << quoted(column);
    return select;
}

void fromServer(PgEngine &server, sqlite3 *file, const Schema::TableShape &table,
                const Advance &advance)
{
    QStringList names;
    QStringList marks;
    for (const QString &column : table.columns) {
        names << quoted(column);
        marks << QStringLiteral("?");
    }
    // The file's folded names go in with the names they fold, as every write
    // of the program puts them, so no pass over the table follows the copy.
    struct Fold
    {
        int at;    // its parameter
        int field; // the name it folds
    };
    std::vector<Fold> folds;
    for (int c = 0; c < table.columns.size(); ++c) {
        const auto folded = Schema::foldedColumns().constFind(table.columns[c].toLower());
        if (folded == Schema::foldedColumns().constEnd())
            continue;
        names << quoted(*folded);
        marks << QStringLiteral("?");
        folds.push_back({int(names.size()), c});
    }
    Statement insert = prepare(file, QStringLiteral("insert into %1 (%2) values (%3)")
                                         .arg(quoted(table.name), names.join(QLatin1Char(',')),
                                              marks.join(QLatin1Char(','))));
    sqlite3_stmt *stmt = insert.get();
    std::vector<PgCopy::Kind> kinds;
    PgCopy::read(server, table.name, serverSelectList(table), table.key, kinds,
                 [&](const PgCopy::Field *fields, int count) {
                     for (int c = 0; c < count; ++c) {
                         const PgCopy::Field &f = fields[c];
                         const int at = c + 1;
                         if (f.length < 0) {
                             sqlite3_bind_null(stmt, at);
                             continue;
                         }
                         switch (kinds[size_t(c)]) {
                         case PgCopy::Kind::Integer:
                             sqlite3_bind_int64(stmt, at, integerOf(f));
                             break;
                         case PgCopy::Kind::Real:
                             sqlite3_bind_double(stmt, at, realOf(f));
                             break;
                         case PgCopy::Kind::Boolean:
                             sqlite3_bind_int(stmt, at, f.length > 0 && f.data[0] ? 1 : 0);
                             break;
                         case PgCopy::Kind::Text:
                             sqlite3_bind_text(stmt, at, f.data, f.length, SQLITE_STATIC);
                             break;
                         case PgCopy::Kind::Bytes:
                             sqlite3_bind_blob(stmt, at, f.data, f.length, SQLITE_STATIC);
                             break;
                         }
                     }
                     for (const Fold &fold : folds) {
                         const PgCopy::Field &f = fields[fold.field];
                         const QByteArray text =
                             foldedText(f.length < 0 ? QVariant()
                                                     : QVariant(QString::fromUtf8(f.data, f.length)))
                                 .toUtf8();
                         sqlite3_bind_text(stmt, fold.at, text.constData(), int(text.size()),
                                           SQLITE_TRANSIENT);
                     }
                     if (sqlite3_step(stmt) != SQLITE_DONE)
                         raise(file);
                     sqlite3_reset(stmt);
                     advance(1);
                 });
}

void toServer(sqlite3 *file, PgEngine &server, const Schema::TableShape &table,
              const Advance &advance)
{
    QStringList names;
    for (const QString &column : table.columns)
        names << quoted(column);
    Statement select = prepare(file, QStringLiteral("select %1 from %2 order by %3")
                                         .arg(names.join(QLatin1Char(',')), quoted(table.name),
                                              quoted(table.key)));
    sqlite3_stmt *stmt = select.get();
    const int width = int(table.columns.size());
    PgCopy::Writer writer(server, table.name, table.columns);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < width; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                writer.integer(sqlite3_column_int64(stmt, c));
                break;
            case SQLITE_FLOAT:
                writer.real(sqlite3_column_double(stmt, c));
                break;
            case SQLITE_TEXT:
                writer.text(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                            sqlite3_column_bytes(stmt, c));
                break;
            case SQLITE_BLOB: {
                const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt, c));
                writer.bytes(data ? data : "", sqlite3_column_bytes(stmt, c));
                break;
            }
            default:
                writer.null();
            }
        }
        writer.endRow();
        advance(1);
    }
    if (rc != SQLITE_DONE)
        raise(file);
    writer.finish();
}

void prepareBulkLoad(sqlite3 *file)
{
    // New pages of a new file need no journal; a memory one still lets the
    // transaction roll back.
    for (const char *pragma : {"PRAGMA journal_mode=MEMORY", "PRAGMA synchronous=OFF",
                               "PRAGMA cache_size=-65536"}) {
        if (sqlite3_exec(file, pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
            raise(file);
    }
}

} // namespace BulkCopy
