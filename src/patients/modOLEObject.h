#pragma once

#include <QString>

class Connection;
class QProgressBar;
class Recordset;

// Moves a picture between a file and a binary column, in pieces.
constexpr qint64 kBlobPieceSize = 100000;

// Stores the bytes of the file in the first column of the row the select
// statement picks, advancing the progress bar (which may be null) as the
// pieces go in. An empty file leaves the column as it was. Throws when the
// file cannot be read or the row cannot be written.
void FileToBlob(Connection &db, const QString &selectSql, const QString &path,
                QProgressBar *progress);

// Writes the bytes of a column of the recordset's current row to the file,
// replacing it. Reads the column from its first byte, so call it once per
// positioning of the row. False (and no file left behind) on any failure.
bool BlobToFile(Recordset &rs, const QString &field, const QString &path);
