#include <QFile>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "data/Recordset.h"
#include "patients/modOLEObject.h"
#include "support/TestWorld.h"

namespace {

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

const QString kSelectPhoto =
    QStringLiteral("select [Photo] from [PatientRecords] where [PatientID]=1");

} // namespace

TEST(PhotoPieces, StoredInPiecesWithProgressAndReadBackByteForByte)
{
    const struct
    {
        qint64 size;
        int maximum;
        QList<int> values; // every value the bar shows, in order
    } cases[] = {
        {250000, 2, {0, 1, 2, 0}},
        {90000, 1, {0}},
        {100000, 1, {0, 1, 0}},
        {4200001, 42, {}}, // several megabytes
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        TestWorld w;
        w.addPatient(1, QStringLiteral("Pic"), QStringLiteral("Pat"));
        w.exec(QStringLiteral("update PatientRecords set Photo=x'0102' where PatientID=1"));
        const QByteArray bytes = randomBytes(c.size);
        const QString source = writeFile(w.path(QStringLiteral("in.bmp")), bytes);

        QProgressBar bar;
        QSignalSpy spy(&bar, &QProgressBar::valueChanged);
        FileToBlob(w.db(), kSelectPhoto, source, &bar);
        EXPECT_EQ(bar.maximum(), c.maximum);
        EXPECT_EQ(bar.value(), 0);
        if (!c.values.isEmpty()) {
            QList<int> shown;
            for (const QList<QVariant> &signal : spy)
                shown << signal.at(0).toInt();
            EXPECT_EQ(shown, c.values);
        }
        EXPECT_EQ(w.scalar(QStringLiteral("select Photo from PatientRecords")).toByteArray(),
                  bytes);

        Recordset rs;
        rs.Open(kSelectPhoto, w.db(), adOpenStatic, adLockReadOnly);
        const QString target = writeFile(w.path(QStringLiteral("out.bmp")), "old and longer");
        EXPECT_TRUE(BlobToFile(rs, QStringLiteral("Photo"), target));
        QFile back(target);
        ASSERT_TRUE(back.open(QIODevice::ReadOnly));
        EXPECT_EQ(back.readAll(), bytes);
    }
}

TEST(PhotoPieces, AnEmptyFileLeavesThePhotoAndAMissingRowFails)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Pic"), QStringLiteral("Pat"));
    w.exec(QStringLiteral("update PatientRecords set Photo=x'0102' where PatientID=1"));
    FileToBlob(w.db(), kSelectPhoto, writeFile(w.path(QStringLiteral("empty.bmp")), {}), nullptr);
    EXPECT_EQ(w.scalar(QStringLiteral("select Photo from PatientRecords")).toByteArray(),
              QByteArray("\x01\x02"));

    const QString some = writeFile(w.path(QStringLiteral("some.bmp")), randomBytes(10));
    EXPECT_ANY_THROW(FileToBlob(w.db(), QStringLiteral("select [Photo] from [PatientRecords] "
                                                       "where [PatientID]=99"),
                                some, nullptr));
    EXPECT_ANY_THROW(
        FileToBlob(w.db(), kSelectPhoto, w.path(QStringLiteral("none.bmp")), nullptr));
}
