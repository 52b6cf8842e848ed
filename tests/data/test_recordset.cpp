#include <gtest/gtest.h>

#include "data/DbError.h"
#include "data/Recordset.h"
#include "support/TestWorld.h"

TEST(Recordset, CountsExactlyAndReturnsRowsInIdOrder)
{
    TestWorld w;
    for (int id : {5, 2, 9, 1})
        w.addPatient(id, QStringLiteral("P%1").arg(id), QStringLiteral("F"));
    Recordset rs;
    rs.Open(QStringLiteral("Select * from PatientRecords"), w.db(), adOpenStatic, adLockOptimistic);
    EXPECT_EQ(rs.RecordCount(), 4);
    EXPECT_FALSE(rs.isBOF());
    QList<int> ids;
    while (!rs.isEOF()) {
        ids << rs.Value(QStringLiteral("PatientID")).toInt();
        rs.MoveNext();
    }
    EXPECT_EQ(ids, (QList<int>{1, 2, 5, 9}));
    rs.MoveLast();
    EXPECT_EQ(rs.AbsolutePosition(), 4);
    EXPECT_EQ(rs.Value(QStringLiteral("patientid")).toInt(), 9); // names ignore case

    Recordset empty;
    empty.Open(QStringLiteral("select * from Users"), w.db(), adOpenStatic, adLockReadOnly);
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_TRUE(empty.isEOF());
    EXPECT_TRUE(empty.isBOF());
    EXPECT_THROW(empty.Value(0), DbError);
}

TEST(Recordset, KeepsNullApartFromEmptyText)
{
    TestWorld w;
    w.exec(QStringLiteral("insert into PatientRecords (PatientID, LastName, FirstName) values (1, '', NULL)"));
    Recordset rs;
    rs.Open(QStringLiteral("select LastName, FirstName from PatientRecords"), w.db(), adOpenStatic, adLockReadOnly);
    EXPECT_FALSE(rs.Value(QStringLiteral("LastName")).isNull());
    EXPECT_EQ(rs.Value(QStringLiteral("LastName")).toString(), QString());
    EXPECT_TRUE(rs.Value(QStringLiteral("FirstName")).isNull());
    EXPECT_EQ(rs.Text(QStringLiteral("FirstName")), QString());
    EXPECT_EQ(rs.FieldNames(), (QStringList{QStringLiteral("LastName"), QStringLiteral("FirstName")}));
}

TEST(Recordset, AddsAndUpdatesRowsThroughTheRecordset)
{
    TestWorld w;
    Recordset rs;
    rs.Open(QStringLiteral("Select * from UserLog order by LogID"), w.db());
    rs.AddNew();
    rs.setValue(QStringLiteral("LogID"), 41);
    rs.setValue(QStringLiteral("UserName"), QStringLiteral("O'Hara"));
    rs.UpdateBatch();
    rs.AddNew();
    rs.setValue(QStringLiteral("LogID"), 42);
    rs.setValue(QStringLiteral("UserName"), QStringLiteral("Anna"));
    rs.Update();
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.Close();

    rs.Open(QStringLiteral("Select * from UserLog order by LogID"), w.db());
    rs.MoveLast();
    rs.setValue(QStringLiteral("timeout"), QStringLiteral("02:05:09 pm"));
    rs.UpdateBatch();
    EXPECT_EQ(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=42")).toString(),
              QStringLiteral("02:05:09 pm"));
    EXPECT_TRUE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=41")).isNull());
    EXPECT_EQ(w.scalar(QStringLiteral("select UserName from UserLog where LogID=41")).toString(),
              QStringLiteral("O'Hara"));

    // Read-only results and joins refuse to write.
    Recordset ro;
    ro.Open(QStringLiteral("select * from UserLog"), w.db(), adOpenStatic, adLockReadOnly);
    EXPECT_THROW(ro.setValue(QStringLiteral("UserName"), QStringLiteral("x")), DbError);
}

TEST(Recordset, WhetherItWritesBackComesFromTheStatementNotItsWords)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Join"), QStringLiteral("Big"));
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID) values (1, 1)"));
    const struct
    {
        const char *sql;
        bool updatable;
    } cases[] = {
        {"select * from PatientRecords where LastName = 'Join'", true},
        {"select * from PatientRecords where LastName like 'JOIN%' or FirstName = ' join '", true},
        {"select LastName from [PatientRecords] where PatientID=1 order by LastName", true},
        {"select a.LastName from PatientRecords a inner join MedicalHistory b "
         "on a.PatientID=b.PatientID",
         false},
        {"select a.LastName, b.HistoryID from PatientRecords a, MedicalHistory b", false},
        {"select max(PatientID) as m from PatientRecords", false},
        {"select * from (select * from PatientRecords)", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sql);
        Recordset rs;
        rs.Open(QLatin1String(c.sql), w.db());
        ASSERT_FALSE(rs.isEOF());
        EXPECT_EQ(rs.updatable(), c.updatable);
        if (c.updatable) {
            rs.setValue(QStringLiteral("LastName"), QStringLiteral("Joiner"));
            rs.Update();
            EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords")).toString(),
                      QStringLiteral("Joiner"));
            w.exec(QStringLiteral("update PatientRecords set LastName='Join'"));
        } else {
            EXPECT_THROW(rs.setValue(rs.FieldName(0), QStringLiteral("x")), DbError);
        }
    }
}

TEST(Recordset, UpdatingARowAnotherWorkstationDeletedFails)
{
    TestWorld w;
    w.addUser(3, QStringLiteral("Anna"), QStringLiteral("secret1"), QStringLiteral("Staff"));
    Recordset rs;
    rs.Open(QStringLiteral("select * from users where userid=3"), w.db());
    w.exec(QStringLiteral("delete from Users where UserID=3"));
    rs.setValue(QStringLiteral("Password"), QStringLiteral("x"));
    EXPECT_THROW(rs.Update(), DbError);
    EXPECT_EQ(w.count(QStringLiteral("Users")), 0);
}

TEST(Recordset, StoresALargeBlobInPiecesAndReadsItBackByteForByte)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
    QByteArray photo(250000, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 7919) % 251);

    Recordset rs;
    rs.Open(QStringLiteral("select [Photo] from [PatientRecords] where [PatientID]=1"), w.db());
    rs.AppendChunk(QStringLiteral("Photo"), photo.left(50000));
    rs.AppendChunk(QStringLiteral("Photo"), photo.mid(50000, 100000));
    rs.AppendChunk(QStringLiteral("Photo"), photo.mid(150000));
    rs.Update();
    rs.Close();

    rs.Open(QStringLiteral("select * from PatientRecords where PatientID=1"), w.db(), adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs.ActualSize(QStringLiteral("Photo")), 250000);
    QByteArray back = rs.GetChunk(QStringLiteral("Photo"), 50000);
    back += rs.GetChunk(QStringLiteral("Photo"), 100000);
    back += rs.GetChunk(QStringLiteral("Photo"), 100000);
    EXPECT_TRUE(rs.GetChunk(QStringLiteral("Photo"), 100000).isEmpty());
    EXPECT_EQ(back, photo);
    EXPECT_EQ(rs.Text(QStringLiteral("LastName")), QStringLiteral("Doe"));
}
