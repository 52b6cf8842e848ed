#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "patients/PatientQueries.h"
#include "shell/modMain.h"
#include "support/OwnServer.h"
#include "support/TestWorld.h"

TEST(PostgresDialect, TranslatesTheWindowsSql)
{
    struct Case
    {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        {"select * from [PatientRecords] where patientid=5",
         R"(select * from "PatientRecords" where "PatientID"=5)"},
        {"Delete * from UserLog where UserName = 'Bert'",
         R"(delete from "UserLog" where "UserName" = 'Bert')"},
        {"update Users set savepassword=1 where userid=3",
         R"(update "Users" set "SavePassword"=1 where "UserID"=3)"},
        // Aliases keep their letter case, "+" next to text joins texts.
        {"select a.PatientID,Firstname+' '+Lastname as [Patient Name],VisitDate as [Visit Date] "
         "from PatientRecords a inner join MedicalHistory b on a.PatientID=b.PatientID",
         R"(select a."PatientID","FirstName"||' '||"LastName" as "Patient Name","VisitDate" as )"
         R"("Visit Date" from "PatientRecords" a inner join "MedicalHistory" b on )"
         R"(a."PatientID"=b."PatientID")"},
        {"select max(id) from (select max(PatientID) as id from PatientRecords) as Ids",
         R"(select max("id") from (select max("PatientID") as "id" from "PatientRecords") as "Ids")"},
        // like: both sides lower case, and a backslash is no escape.
        {"SELECT * FROM [MedicalHistory] where [Nurse] like 'O''B\\%' order by [Nurse] desc",
         R"(SELECT * FROM "MedicalHistory" where lower("Nurse") like lower('O''B\%') escape '' )"
         R"(order by lower("Nurse") desc)"},
        // A name is searched and sorted through its folded column, which holds
        // its first 200 characters: a longer text, or a wildcard within, checks the name.
        {"select PatientID from PatientRecords where LastName like 'MA%' order by FoldCase(LastName)",
         R"(select "PatientID" from "PatientRecords" where ("FoldedLastName" like lower('MA%') )"
         R"(escape '') order by "FoldedLastName")"},
        {"select PatientID from PatientRecords a where a.LastName like 'M_A%'",
         R"(select "PatientID" from "PatientRecords" a where (a."FoldedLastName" like )"
         R"(lower('M_A%') escape '' and lower(a."LastName") like lower('M_A%') escape ''))"},
        {"select 1 where FoldCase(Notes) = ''",
         R"(select 1 where (lower(coalesce("Notes", '')) COLLATE "C") = '')"},
        // Only case-insensitive columns sort by their lower-case form.
        {"select * from MedicalHistory order by VisitDate desc, Nurse, HistoryID",
         R"(select * from "MedicalHistory" order by "VisitDate" desc, lower("Nurse"), "HistoryID")"},
        {"SELECT * FROM Users where StrComp(UserName, 'A1 B2', 0) = 0",
         R"(SELECT * FROM "Users" where (CASE WHEN ("UserName") IS NULL OR ('A1 B2') IS NULL )"
         R"(THEN NULL WHEN ("UserName") = ('A1 B2') THEN 0 WHEN ("UserName") < ('A1 B2') )"
         R"(COLLATE "C" THEN -1 ELSE 1 END) = 0)"},
        // Literals and unknown names stay as they are.
        {"select 'select [x] from y' as [my col] from T", R"(select 'select [x] from y' as "my col" from T)"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(translateSqlForPostgres(QString::fromUtf8(c.in), Schema::postgresNames())
                      .toStdString(),
                  c.out)
            << c.in;
    }
}

class BothEngines : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(, BothEngines,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(BothEngines, RecordsetsReadWriteBackAndKeepNullApartFromEmpty)
{
    TestWorld w(GetParam());
    Recordset rs;
    rs.Open(QStringLiteral("Select * from UserLog order by LogID"), w.db(), adOpenStatic,
            adLockOptimistic);
    EXPECT_TRUE(rs.isEOF());
    EXPECT_TRUE(rs.updatable());
    rs.AddNew();
    rs.setValue(QStringLiteral("LogID"), 41);
    rs.setValue(QStringLiteral("UserName"), QStringLiteral("O'Hara"));
    rs.setValue(QStringLiteral("Privilege"), QString(""));
    rs.UpdateBatch();
    rs.Close();

    rs.Open(QStringLiteral("select * from userlog where logid=41"), w.db());
    ASSERT_EQ(rs.RecordCount(), 1);
    // Names are found whatever their letter case.
    EXPECT_EQ(rs.Text(QStringLiteral("username")), QStringLiteral("O'Hara"));
    EXPECT_EQ(rs.Value(QStringLiteral("LOGID")).toLongLong(), 41);
    EXPECT_TRUE(rs.IsNull(QStringLiteral("TimeIn")));
    EXPECT_FALSE(rs.IsNull(QStringLiteral("Privilege")));
    rs.setValue(QStringLiteral("timeout"), QStringLiteral("02:05:09 pm"));
    rs.Update();
    EXPECT_EQ(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=41")),
              QStringLiteral("02:05:09 pm"));

    // What a statement reads decides whether it writes back, never its words.
    Recordset join;
    join.Open(QStringLiteral("select * from UserLog where UserName = 'Big Join'"), w.db());
    EXPECT_TRUE(join.updatable());
    join.Close();
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID) values (1, 1)"));
    join.Open(QStringLiteral("select a.LastName, b.HistoryID from PatientRecords a inner join "
                             "MedicalHistory b on a.PatientID=b.PatientID"),
              w.db());
    EXPECT_FALSE(join.updatable());
    EXPECT_THROW(join.setValue(QStringLiteral("LastName"), QStringLiteral("x")), DbError);
    join.Close();
    join.Open(QStringLiteral("select count(*) as n from PatientRecords"), w.db());
    EXPECT_FALSE(join.updatable());
    EXPECT_EQ(join.Value(QStringLiteral("N")).toInt(), 1);
}

TEST_P(BothEngines, TextsAreStoredAndReadBackExactly)
{
    TestWorld w(GetParam());
    const QStringList values = {
        QStringLiteral("O'Brien"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("100% _sure_"),
        QStringLiteral("C:\\Users\\nurse\\n not a line break \\' \\\\"),
        QStringLiteral("Żółć Ωμέγα 東京 Дмитрий ß"),
        QStringLiteral("line one\r\nline two\ttabbed"),
        QString(),
    };
    for (int i = 0; i < values.size(); ++i) {
        w.addPatient(i + 1, QStringLiteral("P%1").arg(i), QStringLiteral("X"));
        PatientFields f;
        f.LastName = values.at(i);
        f.Notes = values.at(i);
        f.DateOfBirth = QDate(1980, 5, 17);
        w.exec(patientUpdateSql(f, QString::number(i + 1)));
    }
    for (int i = 0; i < values.size(); ++i) {
        Recordset rs;
        rs.Open(QStringLiteral("select LastName, Notes from PatientRecords where PatientID=%1")
                    .arg(i + 1),
                w.db(), adOpenStatic, adLockReadOnly);
        EXPECT_EQ(rs.Text(QStringLiteral("LastName")), values.at(i)) << i;
        EXPECT_EQ(rs.Text(QStringLiteral("Notes")), values.at(i)) << i;
    }
    // A prefix search ignores letter case for every alphabet, and takes the
    // wildcards and an apostrophe as it always did.
    const auto found = [&](const QString &prefix) {
        Recordset rs;
        rs.Open(patientSearchSql(QStringLiteral("Last Name"), prefix, QStringLiteral("Last Name"),
                                 false),
                w.db(), adOpenStatic, adLockReadOnly);
        return rs.RecordCount();
    };
    EXPECT_EQ(found(QStringLiteral("o'b")), 1);
    EXPECT_EQ(found(QStringLiteral("żÓŁ")), 1);
    EXPECT_EQ(found(QStringLiteral("%дмит")), 1);
    EXPECT_EQ(found(QStringLiteral("дмит")), 0);
    EXPECT_EQ(found(QStringLiteral("100%")), 1);
    EXPECT_EQ(found(QStringLiteral("%SURE")), 1);
    EXPECT_EQ(found(QStringLiteral("C:\\users")), 1);
    EXPECT_EQ(found(QStringLiteral("x")), 0);
    // StrComp compares exactly, letter case included.
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where "
                                      "StrComp(LastName, 'o''brien', 0) = 0"))
                  .toInt(),
              0);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where "
                                      "StrComp(LastName, 'O''Brien', 0) = 0"))
                  .toInt(),
              1);
}

TEST_P(BothEngines, BlobsGoInPiecesAndComeBackByteForByte)
{
    TestWorld w(GetParam());
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
    QByteArray photo(250000, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 7919) % 251);
    {
        Recordset rs;
        rs.Open(QStringLiteral("select [Photo] from [PatientRecords] where [PatientID]=1"),
                w.db());
        rs.AppendChunk(QStringLiteral("Photo"), photo.left(50000));
        rs.AppendChunk(QStringLiteral("Photo"), photo.mid(50000, 100000));
        rs.AppendChunk(QStringLiteral("Photo"), photo.mid(150000));
        rs.Update();
    }
    Recordset rs;
    rs.Open(QStringLiteral("select * from PatientRecords where PatientID=1"), w.db(),
            adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs.ActualSize(QStringLiteral("Photo")), 250000);
    QByteArray back = rs.GetChunk(QStringLiteral("Photo"), 50000);
    back += rs.GetChunk(QStringLiteral("Photo"), 100000);
    back += rs.GetChunk(QStringLiteral("Photo"), 100000);
    EXPECT_EQ(back, photo);
}

TEST_P(BothEngines, FailuresComeAsOneErrorTypeAndLeaveTheTransactionWhole)
{
    TestWorld w(GetParam());
    try {
        w.exec(QStringLiteral("update NoSuchTable set x=1"));
        ADD_FAILURE() << "no error";
    } catch (const DbError &e) {
        EXPECT_NE(e.number(), 0);
        EXPECT_FALSE(e.description().isEmpty());
    }
    // A failure inside a transaction rolls the whole of it back.
    try {
        Transaction t(w.db());
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
        {
            // An inner part that fails leaves the outer part usable.
            Transaction inner(w.db());
            EXPECT_THROW(w.exec(QStringLiteral("insert into PatientRecords (PatientID) values (1)")),
                         DbError);
        }
        w.addPatient(2, QStringLiteral("Roe"), QStringLiteral("Rick"));
        throw std::runtime_error("the save gives up");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 0);
    {
        Transaction t(w.db());
        w.addPatient(3, QStringLiteral("Kept"), QStringLiteral("K"));
        t.commit();
    }
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
}

TEST_P(BothEngines, TwoWorkstationsSavingNewPatientsAtOnceKeepEveryRow)
{
    TestWorld w(GetParam());
    const QString location = w.ctx().databaseFile();
    const QString password = w.ctx().databasePassword();
    constexpr int kEach = 60;
    std::atomic<int> failures{0};
    const auto workstation = [&](const QString &name) {
        try {
            Connection db;
            db.Open(location, password);
            for (int i = 0; i < kEach; ++i) {
                // As the patient editor does: the id is taken inside the save.
                Transaction t(db);
                const qint64 id = nextPatientID(db);
                db.Execute(QStringLiteral("insert into [PatientRecords] ([PatientID]) values (%1)")
                               .arg(id));
                db.Execute(QStringLiteral("update [PatientRecords] set [LastName]='%1' where "
                                          "[PatientID]=%2")
                               .arg(name + QString::number(i))
                               .arg(id));
                t.commit();
            }
        } catch (const DbError &e) {
            ++failures;
            ADD_FAILURE() << e.description().toStdString();
        }
    };
    std::thread a(workstation, QStringLiteral("A"));
    std::thread b(workstation, QStringLiteral("B"));
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 2 * kEach);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(distinct LastName) from PatientRecords"))
                  .toInt(),
              2 * kEach);
    EXPECT_EQ(w.scalar(QStringLiteral("select max(PatientID) from PatientRecords")).toInt(),
              2 * kEach);
}

TEST_P(BothEngines, AForwardOnlyRecordsetReadsALongResultInChunksAndLetsGoOfTheDatabase)
{
    TestWorld w(GetParam());
    // 2,000 patients, every seventh without a last name.
    w.exec(w.onServer()
               ? QStringLiteral("insert into PatientRecords (PatientID, LastName) select i, case "
                                "when i % 7 = 0 then null else 'Name' || i end from "
                                "generate_series(1, 2000) as i")
               : QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                "where i < 2000) insert into PatientRecords (PatientID, LastName) "
                                "select i, case when i % 7 = 0 then null else 'Name' || i end "
                                "from n"));
    const auto rows = [&](const QString &sql, int cursor) {
        Recordset rs;
        rs.Open(sql, w.db(), cursor, adLockReadOnly);
        QStringList out;
        for (; !rs.isEOF(); rs.MoveNext()) {
            const QVariant last = rs.Value(1);
            out << QString::number(rs.AbsolutePosition()) + QLatin1Char(' ')
                       + rs.Value(0).toString() + QLatin1Char(' ')
                       + (last.isNull() ? QStringLiteral("NULL") : last.toString());
        }
        EXPECT_EQ(rs.FieldNames(), (QStringList{QStringLiteral("Patient ID"),
                                                QStringLiteral("LastName")}));
        return out;
    };
    // Nothing, less than a chunk, exactly one and two chunks, and between.
    for (int last : {0, 1, 999, 1000, 1500, 2000}) {
        const QString sql = QStringLiteral("select PatientID as [Patient ID], LastName from "
                                           "PatientRecords where PatientID <= %1 order by PatientID")
                                .arg(last);
        const QStringList streamed = rows(sql, adOpenForwardOnly);
        EXPECT_EQ(streamed.size(), last);
        EXPECT_EQ(streamed, rows(sql, adOpenStatic)) << last;
    }

    // Read to its end, or closed half way: another workstation saves at once,
    // and this connection's own writes work.
    Connection other;
    other.Open(w.ctx().databaseFile(), w.ctx().databasePassword());
    Recordset rs;
    rs.Open(QStringLiteral("select PatientID from PatientRecords order by PatientID"), w.db(),
            adOpenForwardOnly, adLockReadOnly);
    EXPECT_EQ(rs.RecordCount(), -1);
    for (int i = 0; i < 1500; ++i)
        rs.MoveNext();
    EXPECT_EQ(rs.Value(0).toInt(), 1501);
    try {
        rs.MovePrevious();
        ADD_FAILURE() << "moved back";
    } catch (const DbError &e) {
        EXPECT_EQ(e.number(), 3219);
    }
    rs.Close();
    other.Execute(QStringLiteral("update PatientRecords set LastName='Other' where PatientID=1"));
    {
        Transaction t(w.db());
        w.db().Execute(QStringLiteral("update PatientRecords set LastName='Own' where PatientID=2"));
        t.commit();
    }
    EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords where PatientID=1")),
              QStringLiteral("Other"));

    // Inside a transaction the reading is part of it.
    Transaction t(w.db());
    EXPECT_EQ(rows(QStringLiteral("select PatientID as [Patient ID], LastName from "
                                  "PatientRecords where PatientID <= 1200"),
                   adOpenForwardOnly)
                  .size(),
              1200);
    w.db().Execute(QStringLiteral("update PatientRecords set LastName='Late' where PatientID=3"));
    t.commit();
    EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords where PatientID=3")),
              QStringLiteral("Late"));
}

TEST(ServerOutage, TheNextActionSaysSoAndWorksAgainOnceTheServerIsBack)
{
    if (!testServerUnavailable().isEmpty())
        GTEST_SKIP() << testServerUnavailable().toStdString();
    OwnServer server;
    ASSERT_TRUE(server.ok());
    Connection db;
    db.Open(server.uri(), server.password());
    db.Execute(QStringLiteral("create table Seen (n integer)"));

    ASSERT_TRUE(server.run(QStringLiteral("stop")));
    try {
        db.Execute(QStringLiteral("insert into Seen values (1)"));
        ADD_FAILURE() << "a statement to a stopped server went through";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("does not answer"))
                    || e.description().contains(QStringLiteral("was lost"))
                    || e.description().contains(QStringLiteral("is starting up or shutting "
                                                               "down. Please try again in a "
                                                               "moment.")))
            << e.description().toStdString();
    }
    // Still down: the same words, at once, not a hang.
    EXPECT_THROW(db.Execute(QStringLiteral("insert into Seen values (2)")), DbError);

    ASSERT_TRUE(server.run(QStringLiteral("start")));
    db.Execute(QStringLiteral("insert into Seen values (3)"));
    Recordset rs;
    rs.Open(QStringLiteral("select n from Seen"), db, adOpenStatic, adLockReadOnly);
    ASSERT_EQ(rs.RecordCount(), 1);
    EXPECT_EQ(rs.Value(0).toInt(), 3);
}

TEST_P(BothEngines, NoNewPatientOrTrailRowOnceTheLargestIdIsInUse)
{
    TestWorld w(GetParam());
    const QString refused =
        QStringLiteral("No new record can be added: the largest id is in use.");
    const auto expectRefused = [&](const std::function<void()> &add) {
        try {
            add();
            ADD_FAILURE() << "no refusal";
        } catch (const DbError &e) {
            EXPECT_EQ(e.description(), refused);
        }
    };
    w.exec(QStringLiteral("insert into PatientRecords (PatientID, LastName) values "
                          "(9223372036854775806, 'Doe')"));
    EXPECT_EQ(nextPatientID(w.db()), 9223372036854775807LL);
    // Visits of a patient deleted since count as well.
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID) values "
                          "(1, 9223372036854775807)"));
    expectRefused([&] { nextPatientID(w.db()); });

    const Audit::Entry entry{QStringLiteral("Print"), QString(), QVariant(), QVariant(),
                             QStringLiteral("Patient list")};
    Audit::add(w.db(), entry);
    w.exec(QStringLiteral("insert into AuditTrail (AuditID, Action) values "
                          "(9223372036854775807, 'Print')"));
    expectRefused([&] { Audit::add(w.db(), entry); });
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 2);
    EXPECT_EQ(w.scalar(QStringLiteral("select min(AuditID) from AuditTrail")).toLongLong(), 1);
}
