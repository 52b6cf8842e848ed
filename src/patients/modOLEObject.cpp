#include "patients/modOLEObject.h"

#include <stdexcept>

#include <QCoreApplication>
#include <QFile>
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

} // namespace

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
