#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "data/Schema.h"

class PgEngine;
struct sqlite3;

// A table's rows between a server database and a file of the embedded kind,
// in bulk: COPY on the server's side, one prepared statement on the file's.
// Each runs inside the transactions its caller holds on both and calls
// advance with the rows done since its last call.
namespace BulkCopy {

using Advance = std::function<void(qint64 rows)>;

// What fills each of the file's columns of table in a backup from the server:
// the one place where a backup maps the server's columns to the file's.
QStringList serverSelectList(const Schema::TableShape &table);

// Every row of the server's table into the same table of the file.
void fromServer(PgEngine &server, sqlite3 *file, const Schema::TableShape &table,
                const Advance &advance);

// Every row of the file's table into the same table of the server (the
// schema's columns; any others of the file stay behind).
void toServer(sqlite3 *file, PgEngine &server, const Schema::TableShape &table,
              const Advance &advance);

// Settings of a new, private file that suit one large load: a failed load
// is removed whole, the file is flushed to disk once at its end, and the
// page cache holds the indexes of a large practice while rows go in.
void prepareBulkLoad(sqlite3 *file);

} // namespace BulkCopy
