#include "patients/modOLEObject.h"

#include <algorithm>
#include <stdexcept>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProgressBar>

#include "data/Recordset.h"
#include "shell/modMain.h"

namespace {

[[noreturn]] void cannotRead(const QFile &file)
{
    throw std::runtime_error(QStringLiteral("Cannot read the file %1: %2")
                                 .arg(file.fileName(), file.errorString())
                                 .toStdString());
}

QByteArray readExactly(QFile &file, qint64 count)
{
    const QByteArray bytes = file.read(count);
    if (bytes.size() != count)
        cannotRead(file);
    return bytes;
}

// Lets the bar repaint; user input waits, so nothing can start a second
// save while this one is half-way.
void letPaintsRun()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// At most kPhotoSide on the longer side, never less than one pixel.
QSize storedSize(const QSize &size)
{
    const int longer = std::max(size.width(), size.height());
    if (longer <= kPhotoSide)
        return size;
    const double scale = double(kPhotoSide) / longer;
    return {std::max(1, qRound(size.width() * scale)), std::max(1, qRound(size.height() * scale))};
}

} // namespace

QImage photoForStorage(const QImage &picture)
{
    if (picture.isNull())
        return picture;
    const QSize size = storedSize(picture.size());
    QImage scaled = size == picture.size()
                        ? picture
                        : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.hasAlphaChannel()) {
        QImage opaque(scaled.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, scaled);
        scaled = opaque;
    }
    return scaled.format() == QImage::Format_RGB888
               ? scaled
               : scaled.convertToFormat(QImage::Format_RGB888);
}

QImage loadPhoto(const QString &path, QString *reason)
{
    const auto refuse = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return QImage();
    };
    if (QFileInfo(path).size() > kPhotoFileLimit)
        return refuse(QStringLiteral("the file is larger than %1 MB")
                          .arg(kPhotoFileLimit / (1024 * 1024)));
    QImageReader reader(path);
    // A large picture is decoded straight at the size it is kept at, where the
    // format can, so a small file of many pixels needs no huge bitmap.
    const QSize size = reader.size();
    if (size.isValid() && storedSize(size) != size
        && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(storedSize(size));
    const QImage picture = reader.read();
    if (picture.isNull())
        return refuse(QStringLiteral("it cannot be read as a BMP or JPEG picture (%1)")
                          .arg(reader.errorString()));
    return photoForStorage(picture);
}

void FileToBlob(Connection &db, const QString &selectSql, const QString &path,
                QProgressBar *progress)
{
    Recordset rs;
    rs.Open(selectSql, db, adOpenKeyset, adLockOptimistic);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        cannotRead(file);
    const qint64 length = file.size();
    if (length == 0)
        return;
    const QString column = rs.FieldName(0);
    const qint64 pieces = length / kBlobPieceSize;
    const qint64 rest = length % kBlobPieceSize;
    if (rest != 0)
        rs.AppendChunk(column, readExactly(file, rest));
    if (progress) {
        progress->setMaximum(pieces > 1 ? int(pieces) : 1);
        progress->setMinimum(0);
        progress->setValue(0);
    }
    for (qint64 done = 1; done <= pieces; ++done) {
        rs.AppendChunk(column, readExactly(file, kBlobPieceSize));
        letPaintsRun();
        if (progress)
            progress->setValue(int(done));
        letPaintsRun();
    }
    rs.Update();
    file.close();
    rs.Close();
    if (progress)
        progress->setValue(0);
}

bool BlobToFile(Recordset &rs, const QString &field, const QString &path)
{
    if (FileExists(path))
        RemoveFile(path);
    QFile file(path);
    try {
        if (!file.open(QIODevice::WriteOnly))
            return false;
        const qint64 size = rs.ActualSize(field);
        const qint64 pieces = size / kBlobPieceSize;
        const qint64 rest = size % kBlobPieceSize;
        bool ok = true;
        if (rest != 0)
            ok = file.write(rs.GetChunk(field, rest)) == rest;
        for (qint64 i = 0; ok && i < pieces; ++i)
            ok = file.write(rs.GetChunk(field, kBlobPieceSize)) == kBlobPieceSize;
        file.close();
        if (ok && file.error() == QFileDevice::NoError)
            return true;
    } catch (...) {
        // A failed read leaves no file; the caller sees that.
    }
    file.close();
    file.remove();
    return false;
}
