#pragma once

#include <QImage>
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

// A stored photo keeps at most this many pixels on its longer side, so its
// bitmap stays under 2 MB; it is read from files of at most kPhotoFileLimit.
constexpr int kPhotoSide = 800;
constexpr qint64 kPhotoFileLimit = 50 * 1024 * 1024;

// The picture as it is stored: scaled down smoothly to kPhotoSide, keeping its
// proportions, on white where it was transparent, 24 bits a pixel.
QImage photoForStorage(const QImage &picture);

// The picture in the file, as photoForStorage makes it; null, with the reason
// in words, when the file is too large or does not decode.
QImage loadPhoto(const QString &path, QString *reason);
