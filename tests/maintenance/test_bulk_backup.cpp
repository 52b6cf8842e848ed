// Backup and restore of whole practices: every value comes back as it was,
// a restore that stops half way changes nothing, and a backup taken while
// another workstation saves is one moment of the database.
#include <map>

#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "support/TestWorld.h"

namespace {

class BulkBackup : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

// Every cell of the table in key order, as its kind and its bytes.
QStringList cellsOf(Connection &db, const Schema::TableShape &table)
{
    Recordset rs;
    rs.Open(QStringLiteral("select [%1] from [%2] order by [%3]")
                .arg(table.columns.join(QStringLiteral("],[")), table.name, table.key),
            db, adOpenStatic, adLockReadOnly);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext()) {
        QStringList row;
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const QVariant v = rs.Value(c);
            if (v.isNull())
                row << QStringLiteral("NULL");
            else if (v.typeId() == QMetaType::QByteArray)
                row << QStringLiteral("bytes ") + QString::fromLatin1(v.toByteArray().toHex());
            else
                row << QStringLiteral("text ") + v.toString();
        }
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

std::map<QString, QStringList> everything(Connection &db)
{
    std::map<QString, QStringList> all;
    for (const Schema::TableShape &table : Schema::tables())
        all[table.name] = cellsOf(db, table);
    return all;
}

std::map<QString, QStringList> everythingIn(const QString &database, const QString &password)
{
    Connection db;
    db.Open(database, password);
    return everything(db);
}

void addRow(TestWorld &w, const QString &table, const QVariantMap &values)
{
    Recordset rs;
    rs.Open(QStringLiteral("select * from [%1] where 1=0").arg(table), w.db());
    rs.AddNew();
    for (auto it = values.begin(); it != values.end(); ++it)
        rs.setValue(it.key(), it.value());
    rs.Update();
}

// Patients enough that a backup or restore takes a moment.
void addManyPatients(TestWorld &w, int count)
{
    w.exec(w.onServer()
               ? QStringLiteral("insert into PatientRecords (PatientID, LastName, Notes) select "
                                "i, 'Many' || i, repeat('note ', 40) from generate_series(1, %1) "
                                "as i")
                     .arg(count)
               : QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                "where i < %1) insert into PatientRecords (PatientID, LastName, "
                                "Notes) select i, 'Many' || i, hex(randomblob(100)) from n")
                     .arg(count));
}

QStringList reportLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(, BulkBackup,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(BulkBackup, EveryValueComesBackByteForByte)
{
    TestWorld w(GetParam());
    QByteArray photo(70000, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 7919) % 256);
    QString longText;
    while (longText.size() < 100000)
        longText += QStringLiteral("Zoë Łukasz Müller 日本語 \"quoted\" 'single' \\ tab\t"
                                   "line\r\n");
    longText.truncate(100000);
    addRow(w, QStringLiteral("PatientRecords"),
           {{QStringLiteral("PatientID"), 1},
            {QStringLiteral("LastName"), QStringLiteral("Wiśniewski")},
            {QStringLiteral("Notes"), longText},
            {QStringLiteral("Photo"), photo}});
    // An empty text is not a NULL; the largest ids stay exact.
    addRow(w, QStringLiteral("PatientRecords"),
           {{QStringLiteral("PatientID"), Q_INT64_C(9007199254740993)},
            {QStringLiteral("LastName"), QString(QLatin1String(""))},
            {QStringLiteral("FirstName"), QVariant()}});
    addRow(w, QStringLiteral("MedicalHistory"),
           {{QStringLiteral("HistoryID"), 5},
            {QStringLiteral("PatientID"), Q_INT64_C(9007199254740993)},
            {QStringLiteral("ChiefComplaint"), QStringLiteral("Fièvre\t38,5 °C\n")}});
    w.addUser(1, QStringLiteral("Ana"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"), 1);
    addRow(w, QStringLiteral("UserLog"),
           {{QStringLiteral("LogID"), 3},
            {QStringLiteral("UserName"), QStringLiteral("Ana")},
            {QStringLiteral("TimeIn"), QStringLiteral("08:01:02 AM")}});
    const QString database = w.ctx().databaseFile();
    const QString password = w.ctx().databasePassword();
    const auto before = everything(w.db());
    ASSERT_EQ(before.at(QStringLiteral("PatientRecords")).size(), 2);

    const QString backup = w.path(QStringLiteral("desktop/backup.mdb"));
    DatabaseFiles::backupDatabase(database, backup, password);
    EXPECT_EQ(everythingIn(backup, password), before);
    {
        // The list searches the copy by its folded names: they come filled.
        Connection copy;
        copy.Open(backup, password);
        Recordset rs;
        rs.Open(QStringLiteral("select FoldedLastName, FoldedFirstName from PatientRecords "
                               "order by PatientID"),
                copy, adOpenStatic, adLockReadOnly);
        EXPECT_EQ(rs.Text(QStringLiteral("FoldedLastName")), QStringLiteral("wiśniewski"));
        rs.MoveNext();
        EXPECT_EQ(rs.Text(QStringLiteral("FoldedLastName")), QString());
        EXPECT_FALSE(rs.Value(QStringLiteral("FoldedFirstName")).isNull());
    }

    w.exec(QStringLiteral("delete from MedicalHistory"));
    w.exec(QStringLiteral("update PatientRecords set Notes='changed', Photo=null"));
    w.db().Close();
    DatabaseFiles::restoreDatabase(backup, database, password);
    const auto after = everythingIn(database, password);
    for (const QString &table : Schema::requiredTables())
        EXPECT_EQ(after.at(table), before.at(table)) << table.toStdString();
}

TEST_P(BulkBackup, ABackupTakenWhileAnotherWorkstationSavesIsOneMoment)
{
    TestWorld w(GetParam());
    addManyPatients(w, 20000);
    const QString database = w.ctx().databaseFile();
    const QString password = w.ctx().databasePassword();
    const QString passwordFile = w.path(QStringLiteral("password.txt"));
    {
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(password.toUtf8());
    }
    const QString report = w.path(QStringLiteral("report.txt"));
    constexpr int kSaves = 200;
    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("save-patients"), database, passwordFile,
                 QString::number(kSaves), report});
    ASSERT_TRUE(other.waitForStarted());
    // The backups start once the saves have.
    for (int n = 0; n < 600 && reportLines(report).isEmpty(); ++n)
        QThread::msleep(50);
    int midway = 0;
    for (int n = 0; n < 200 && reportLines(report).size() < kSaves; ++n) {
        const QString backup = w.path(QStringLiteral("desktop/backup%1.mdb").arg(n));
        DatabaseFiles::backupDatabase(database, backup, password);
        Connection copy;
        copy.Open(backup, password);
        Recordset saved;
        saved.Open(QStringLiteral("select count(*) from PatientRecords where LastName like "
                                  "'Saved%'"),
                   copy, adOpenStatic, adLockReadOnly);
        Recordset added;
        added.Open(QStringLiteral("select count(*) from AuditTrail where Action='Add' and "
                                  "TableName='PatientRecords'"),
                   copy, adOpenStatic, adLockReadOnly);
        // Each save writes its patient and its trail row together: a backup
        // that read its tables at different moments would hold more of one.
        EXPECT_EQ(saved.Value(0).toInt(), added.Value(0).toInt()) << "backup " << n;
        const int patients = saved.Value(0).toInt();
        if (patients > 0 && patients < kSaves)
            ++midway;
        copy.Close();
        QFile::remove(backup);
    }
    ASSERT_TRUE(other.waitForFinished(120000));
    EXPECT_EQ(reportLines(report).size(), kSaves);
    for (const QString &line : reportLines(report))
        EXPECT_TRUE(line.endsWith(QLatin1String("committed"))) << line.toStdString();
    EXPECT_GT(midway, 0) << "no backup was taken while the saves went on";
}

TEST(BulkRestore, ARestoreThatStopsHalfWayLeavesTheServerAsItWas)
{
    if (!testServerUnavailable().isEmpty())
        GTEST_SKIP() << testServerUnavailable().toStdString();
    TestWorld w(EngineKind::Server);
    addManyPatients(w, 20000);
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, ChiefComplaint) "
                          "values (1, 1, 'Cough'), (2, 2, 'Fever')"));
    const QString database = w.ctx().databaseFile();
    const QString password = w.ctx().databasePassword();
    const QString backup = w.path(QStringLiteral("desktop/backup.mdb"));
    DatabaseFiles::backupDatabase(database, backup, password);
    // A file with a value its server column cannot take, late in the file.
    const QString bad = w.path(QStringLiteral("desktop/bad.mdb"));
    ASSERT_TRUE(QFile::copy(backup, bad));
    {
        Connection file;
        file.Open(bad, password);
        file.Execute(QStringLiteral("update MedicalHistory set PatientID='not a number' where "
                                    "HistoryID=2"));
    }
    // The server moves on after the backup.
    w.exec(QStringLiteral("delete from PatientRecords where PatientID > 10000"));
    w.exec(QStringLiteral("insert into PatientRecords (PatientID, LastName) values (99999, "
                          "'After')"));
    const auto before = everything(w.db());

    const struct
    {
        const char *how;
        std::function<void()> restore;
    } cases[] = {
        {"a bad row",
         [&] {
             try {
                 DatabaseFiles::restoreDatabase(bad, database, password);
                 ADD_FAILURE() << "restored";
             } catch (const DbError &e) {
                 EXPECT_TRUE(e.description().contains(QLatin1String("MedicalHistory")))
                     << e.description().toStdString();
                 EXPECT_TRUE(e.description().contains(QLatin1String("not a number")));
             }
         }},
        {"killed with half of its rows in",
         [&] {
             const QString report = w.path(QStringLiteral("restore.txt"));
             QProcess other;
             other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                         {QStringLiteral("restore-paused"), backup, database, password, report});
             ASSERT_TRUE(other.waitForStarted());
             for (int i = 0; i < 600 && reportLines(report).isEmpty(); ++i)
                 QThread::msleep(50);
             ASSERT_EQ(reportLines(report), QStringList{QStringLiteral("halfway")})
                 << other.readAllStandardError().toStdString();
             other.kill();
             ASSERT_TRUE(other.waitForFinished(10000));
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        c.restore();
        EXPECT_EQ(everything(w.db()), before);
        // The write lock went with it: a save goes ahead at once.
        Transaction t(w.db());
        w.exec(QStringLiteral("update PatientRecords set Phone='555' where PatientID=99999"));
        t.commit();
        w.exec(QStringLiteral("update PatientRecords set Phone=null where PatientID=99999"));
    }
    // And the file itself restores whole.
    DatabaseFiles::restoreDatabase(backup, database, password);
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 20000);
}
