#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/SqliteEngine.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "patients/frmSearchPatient.h"
#include "app/MDIFormMain.h"
#include "shell/StatusBarPanes.h"
#include "shell/modMain.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"

namespace {

class PatientPaging : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(, PatientPaging,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

// The plan of a statement as the engine explains it, one text.
QString planOf(TestWorld &w, const QString &sql)
{
    if (w.onServer())
        w.exec(QStringLiteral("set enable_seqscan = off"));
    Recordset rs;
    rs.Open((w.onServer() ? QStringLiteral("explain ") : QStringLiteral("explain query plan "))
                + sql,
            w.db(), adOpenStatic, adLockReadOnly);
    QStringList lines;
    for (; !rs.isEOF(); rs.MoveNext())
        lines << rs.Value(rs.FieldCount() - 1).toString();
    return lines.join(QLatin1Char('\n'));
}

frmPatientList &openList(TestWorld &w)
{
    w.signIn(1, QStringLiteral("Anna"), QStringLiteral("Administrator"));
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    main.CommandBars_Execute(9028, QStringLiteral("View Patient List"));
    return w.ctx().window<frmPatientList>();
}

QStringList ids(const PatientListModel &model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.text(r, PatientListModel::PatientID);
    return out;
}

// A line of a list as it is ordered: its folded sort key and its id.
struct Keyed
{
    QString key;
    int id;
};

// The ids in the list's order: by key, then by id, both reversed when descending.
QStringList inListOrder(std::vector<Keyed> lines, bool descending)
{
    std::sort(lines.begin(), lines.end(), [&](const Keyed &a, const Keyed &b) {
        return descending ? (a.key != b.key ? a.key > b.key : a.id > b.id)
                          : (a.key != b.key ? a.key < b.key : a.id < b.id);
    });
    QStringList out;
    for (const Keyed &l : lines)
        out << QString::number(l.id);
    return out;
}

QString pane(TestWorld &w)
{
    return w.ctx().window<MDIFormMain>().StatusBar1->PaneText(0);
}

} // namespace

TEST_P(PatientPaging, SearchAndOrderReadThroughTheNameIndexes)
{
    TestWorld w(GetParam());
    for (int id = 1; id <= 40; ++id)
        w.addPatient(id, QStringLiteral("Name%1").arg(id), QStringLiteral("First%1").arg(id));
    if (w.onServer())
        w.exec(QStringLiteral("vacuum analyze PatientRecords"));
    const QString index = w.onServer() ? QStringLiteral("\"PatientRecordsLastName\"")
                                       : QStringLiteral("PatientRecordsLastName");
    const QString byFirst = w.onServer() ? QStringLiteral("\"PatientRecordsFirstName\"")
                                         : QStringLiteral("PatientRecordsFirstName");

    // The search as the list prints it, and as the lists read it a page at a time.
    const QString search = planOf(
        w, patientSearchSql(QStringLiteral("Last Name"), QStringLiteral("NA"),
                            QStringLiteral("Last Name"), false));
    EXPECT_TRUE(search.contains(index)) << search.toStdString();
    const QString page = planOf(
        w, QStringLiteral("select PatientID from PatientRecords where ")
               + patientSearchCondition(QStringLiteral("First Name"), QStringLiteral("Fi"))
               + QStringLiteral(" and (FoldCase([FirstName]), PatientID) > ('first1', 1) "
                                "order by FoldCase([FirstName]), PatientID limit 50"));
    EXPECT_TRUE(page.contains(byFirst)) << page.toStdString();
    // Counting a search reads an index alone, not the table (on 40 rows the
    // server may pass the whole of either name index).
    const QString count = planOf(
        w, QStringLiteral("select count(*) from PatientRecords where ")
               + patientSearchCondition(QStringLiteral("Last Name"), QStringLiteral("NA"))
               + QStringLiteral(" and +PatientID <= 40"));
    EXPECT_TRUE(count.contains(w.onServer() ? QStringLiteral("Index Only Scan using ")
                                            : QStringLiteral("COVERING INDEX ") + index))
        << count.toStdString();
    // The whole list in name order needs no sort of every row.
    const QString all = planOf(w, QStringLiteral("select PatientID from PatientRecords order by "
                                                 "FoldCase([LastName]) desc, PatientID desc "
                                                 "limit 50"));
    EXPECT_TRUE(all.contains(index)) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("TEMP B-TREE"))) << all.toStdString();
}

TEST_P(PatientPaging, SearchFindsWhatItAlwaysFoundInNameOrder)
{
    TestWorld w(GetParam());
    const char *const names[] = {
        "Smith", "smythe", "Ólafsson", "ólöf", "Öberg", "O'Brien", "o'neil",
        "Mc_Kay", "McKay", "Back\\slash", "  Blank", "", "Martín",
    };
    int id = 0;
    for (const char *name : names)
        w.addPatient(++id, QString::fromUtf8(name), QStringLiteral("F"));
    w.addPatient(++id, QStringLiteral("x"), QStringLiteral("F"));
    w.exec(QStringLiteral("update PatientRecords set LastName=null where PatientID=%1").arg(id));
    frmPatientList &list = openList(w);
    ASSERT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();

    const struct
    {
        const char *typed;
        QStringList ids; // by last name, ascending
    } cases[] = {
        {"SM", {"1", "2"}},
        {"ÓL", {"3", "4"}},
        {"ö", {"5"}},
        {"O'", {"6", "7"}},
        {"MC_", {"8", "9"}},
        {"%KAY", {"8", "9"}},
        {"M%N", {"13"}},
        {"MARTÍN", {"13"}},
        {"BACK\\", {"10"}},
        {"  ", {"11"}},
        {"ZZ", {}},
        // Everyone with a last name, in the order of the folded names.
        {"", {"12", "11", "10", "13", "8", "9", "6", "7", "1", "2", "3", "4", "5"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        list.txtSearch->setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(ids(list.model()), c.ids);
        EXPECT_EQ(list.model().totalCount(), c.ids.size());
    }
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
}

TEST_P(PatientPaging, PagesGiveEveryRowOnceInOrderWhileOthersChangeTheTable)
{
    TestWorld w(GetParam());
    // Few names, so pages end inside runs of equal names.
    const QStringList last = {"Kim", "adler", "Baker", "ADLER", "Kim", "Öz", "baker"};
    for (int id = 1; id <= 60; ++id)
        w.addPatient(id, last[id % last.size()], QStringLiteral("F%1").arg(id));
    std::vector<Keyed> lines;
    for (int id = 1; id <= 60; ++id)
        lines.push_back({last[id % last.size()].toCaseFolded(), id});

    for (const bool descending : {false, true}) {
        SCOPED_TRACE(descending ? "descending" : "ascending");
        const QStringList expectedIds = inListOrder(lines, descending);

        PatientListModel model;
        model.setPageSizes(5, 7);
        PatientListQuery query;
        query.descending = descending;
        model.open(w.db(), query);
        EXPECT_EQ(model.rowCount(), 5);
        EXPECT_EQ(model.totalCount(), 60);
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
        EXPECT_EQ(ids(model), expectedIds);
    }

    // Another workstation works while this list is half read.
    Connection other;
    other.Open(w.ctx().databaseFile(), w.ctx().databasePassword());
    PatientListModel model;
    model.setPageSizes(10, 10);
    model.open(w.db(), PatientListQuery());
    const QStringList firstPage = ids(model);
    const QString early = firstPage.first();
    const QString late = QStringLiteral("4"); // an ADLER, read by the second page
    ASSERT_FALSE(firstPage.contains(late));
    other.Execute(QStringLiteral("update PatientRecords set LastName='Zed' where PatientID=") +
                  early);
    other.Execute(QStringLiteral("delete from PatientRecords where PatientID=") + late);
    other.Execute(QStringLiteral("insert into PatientRecords (PatientID, LastName) values (61, 'Aaron')"));
    while (model.canFetchMore(QModelIndex()))
        model.fetchMore(QModelIndex());
    const QStringList shown = ids(model);
    EXPECT_EQ(shown.count(early), 1);
    EXPECT_FALSE(shown.contains(late));
    EXPECT_FALSE(shown.contains(QStringLiteral("61")));
    EXPECT_EQ(shown.size(), 59);
    EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()).size(), 59);
}

TEST_P(PatientPaging, ASearchOnOneNameInTheOrderOfTheOtherPagesExactly)
{
    TestWorld w(GetParam());
    // Many Adlers and few Quinns, so the pages read either index (by how
    // many rows match), with ties in the first names.
    const QStringList last = {"Kim", "adler", "Baker", "ADLER", "Öz", "baker"};
    const QStringList first = {"Zoe", "anna", "Émile", "bob", "Anna"};
    struct Line
    {
        QString last;
        QString first;
        int id;
    };
    std::vector<Line> lines;
    for (int id = 1; id <= 60; ++id) {
        lines.push_back({id % 10 == 0 ? QStringLiteral("Quinn") : last[id % last.size()],
                         first[id % first.size()], id});
        w.addPatient(id, lines.back().last, lines.back().first);
    }
    for (const char *typed : {"A", "QU", "ö", "Z"}) {
        for (const bool descending : {false, true}) {
            SCOPED_TRACE(std::string(typed) + (descending ? " descending" : " ascending"));
            std::vector<Keyed> expected;
            for (const Line &l : lines) {
                if (l.last.toCaseFolded().startsWith(QString::fromUtf8(typed).toCaseFolded()))
                    expected.push_back({l.first.toCaseFolded(), l.id});
            }
            const QStringList expectedIds = inListOrder(expected, descending);

            PatientListModel model;
            model.setPageSizes(5, 7);
            PatientListQuery query;
            query.condition =
                patientSearchCondition(QStringLiteral("Last Name"), QString::fromUtf8(typed));
            query.searchColumn = QStringLiteral("LastName");
            query.sortColumn = QStringLiteral("FirstName");
            query.descending = descending;
            model.open(w.db(), query);
            while (model.canFetchMore(QModelIndex()))
                model.fetchMore(QModelIndex());
            EXPECT_EQ(ids(model), expectedIds);
            EXPECT_EQ(model.totalCount(), expectedIds.size());
        }
    }
}

TEST_P(PatientPaging, EveryColumnOfALineComesBackExactly)
{
    TestWorld w(GetParam());
    const QString longFirst = QString(20000, QLatin1Char('f'));
    const QString middle = QString(300, QChar(0x00DF)) + QStringLiteral("'\u0416");
    w.addPatient(1, QString(), longFirst);
    w.exec(QStringLiteral("update PatientRecords set MiddleName='%1', MaritalStatus=null where "
                          "PatientID=1")
               .arg(QString(middle).replace(QLatin1Char('\''), QStringLiteral("''"))));
    w.addPatient(2, QStringLiteral("Żak"), QStringLiteral("Ola"));
    PatientListModel model;
    model.open(w.db(), PatientListQuery());
    ASSERT_EQ(model.rowCount(), 2);
    const QStringList first = {"1", "", longFirst, middle, "1980-05-17", "Male", ""};
    const QStringList second = {"2", "Żak", "Ola", "", "1980-05-17", "Male", "Single"};
    for (int c = 0; c < PatientListModel::ColumnCount; ++c) {
        EXPECT_EQ(model.text(0, PatientListModel::Column(c)), first[c]) << c;
        EXPECT_EQ(model.text(1, PatientListModel::Column(c)), second[c]) << c;
    }
}

TEST_P(PatientPaging, ALineReadLateIsCountedEditedAndDeleted)
{
    TestWorld w(GetParam());
    for (int id = 1; id <= 250; ++id)
        w.addPatient(id, QStringLiteral("P%1").arg(id, 3, 10, QLatin1Char('0')),
                     QStringLiteral("F%1").arg(id));
    frmPatientList &list = openList(w);
    EXPECT_LT(list.model().rowCount(), 250);
    // The count follows the first lines.
    QCoreApplication::processEvents();
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 250"));

    // Scrolling down reads the rest.
    list.ListView1->scrollToBottom();
    QCoreApplication::processEvents();
    ASSERT_TRUE(list.model().fetchUntil(199));
    list.ListView1->setCurrentIndex(list.model().index(199, 1));
    EXPECT_EQ(pane(w), QStringLiteral("Record 200 of 250"));
    EXPECT_EQ(w.ctx().EditPatientID, QStringLiteral("200"));

    bool edited = false;
    w.ctx().modalHook = [&](Form &window) {
        if (qobject_cast<frmAddNewPatient *>(&window))
            edited = w.ctx().EditPatientID == QLatin1String("200");
    };
    list.button(1)->trigger();
    EXPECT_TRUE(edited);

    list.ListView1->setCurrentIndex(list.model().index(199, 1));
    w.prompter().answers.push_back(MsgAnswer::Yes);
    list.button(2)->trigger();
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where PatientID=200"))
                  .toInt(),
              0);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 249"));
    EXPECT_FALSE(ids(list.model()).contains(QStringLiteral("200")));

    // The selector pages and counts the same way.
    frmSearchPatient &selector = w.ctx().window<frmSearchPatient>();
    selector.cmdShowAll_Click();
    EXPECT_LT(selector.patients().rowCount(), 249);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 249"));
    selector.txtSearch->setText(QStringLiteral("p2"));
    EXPECT_EQ(selector.patients().totalCount(), 50);
}

TEST(NameIndexes, AnOlderDatabaseGainsThemWhenOpened)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Ólafsson"), QStringLiteral("Anna"));
    w.exec(QStringLiteral("drop index PatientRecordsLastName"));
    w.exec(QStringLiteral("drop index PatientRecordsFirstName"));
    // Until then (or where it cannot gain them) the lists read without them.
    PatientListModel model;
    PatientListQuery query;
    query.condition = patientSearchCondition(QStringLiteral("First Name"), QStringLiteral("an"));
    query.searchColumn = QStringLiteral("FirstName");
    model.open(w.db(), query);
    EXPECT_EQ(ids(model), QStringList{QStringLiteral("1")});
    SystemModule::connect(w.ctx());
    EXPECT_TRUE(w.db().engine().schemaObjects().contains(QStringLiteral("patientrecordslastname")));
    EXPECT_TRUE(w.db().engine().schemaObjects().contains(QStringLiteral("patientrecordsfirstname")));
    EXPECT_EQ(w.prompter().progressSteps.size(), 3) << w.prompter().progressSteps.join('|').toStdString();
    EXPECT_TRUE(w.prompter().progressSteps.first().contains(QStringLiteral("PatientRecords")));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where LastName like 'óL%'"))
                  .toInt(),
              1);
}

namespace {

// The ids a prefix search on the name column finds, in the order of that name.
QStringList foundBy(TestWorld &w, const QString &column, const QString &typed)
{
    PatientListModel model;
    PatientListQuery query;
    query.condition = patientSearchCondition(column, typed);
    query.searchColumn = RemoveSpaces(column);
    query.sortColumn = query.searchColumn;
    model.open(w.db(), query);
    model.fetchUntil(1000);
    return ids(model);
}

// What the sqlcipher command-line tool says to script on the file.
QString sqlTool(const QString &file, const QString &script)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), file});
    if (!tool.waitForStarted(10000))
        return QStringLiteral("sqlcipher did not start: ") + tool.errorString();
    tool.write(script.toUtf8());
    tool.closeWriteChannel();
    tool.waitForFinished(60000);
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError())
        .trimmed();
}

} // namespace

TEST_P(PatientPaging, NamesOfAnyLengthAreStoredWholeAndFoundByTheirBeginning)
{
    TestWorld w(GetParam());
    const int lengths[] = {1000, 3000, 100000};
    std::vector<QString> names;
    int id = 0;
    for (const int length : lengths) {
        // Two bytes a letter: 100,000 of them are 200,000 bytes.
        QString name = QStringLiteral("Ölund%1 ").arg(length);
        name += QString(length - name.size(), QChar(0x00E9));
        names.push_back(name);
        // A new patient by the recordset's write-back, the first name by the
        // editor's update statement.
        Recordset rs;
        rs.Open(QStringLiteral("select * from PatientRecords where PatientID = -1"), w.db());
        rs.AddNew();
        rs.setValue(QStringLiteral("PatientID"), ++id);
        rs.setValue(QStringLiteral("LastName"), name);
        rs.setValue(QStringLiteral("FirstName"), QStringLiteral("x"));
        rs.Update();
        PatientFields fields;
        fields.LastName = name;
        fields.FirstName = name;
        w.exec(patientUpdateSql(fields, QString::number(id)));
    }
    w.addPatient(++id, QStringLiteral("Ölund"), QStringLiteral("Ölund"));
    for (size_t i = 0; i < names.size(); ++i) {
        const QString &name = names[i];
        const QString patient = QString::number(i + 1);
        SCOPED_TRACE(name.size());
        EXPECT_EQ(w.scalar(QStringLiteral("select length(LastName) + length(FirstName) from "
                                          "PatientRecords where PatientID = ")
                           + patient)
                      .toInt(),
                  2 * name.size());
        for (const QString &column : {QStringLiteral("Last Name"), QStringLiteral("First Name")}) {
            // A few letters, more than the server's folded column holds, the whole name.
            EXPECT_EQ(foundBy(w, column, name.left(10).toUpper()), QStringList{patient});
            EXPECT_EQ(foundBy(w, column, name.left(250).toUpper()), QStringList{patient});
            EXPECT_EQ(foundBy(w, column, name), QStringList{patient});
            EXPECT_EQ(foundBy(w, column, name + QLatin1Char('x')), QStringList());
        }
    }
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("ölund")),
              (QStringList{QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("3"),
                           QStringLiteral("2")}));
}

TEST(NameIndexes, AnySqliteToolChecksWritesAndMendsTheFile)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Ólafsson"), QStringLiteral("Anna"));
    w.addPatient(2, QStringLiteral("Carr"), QStringLiteral("Cy"));
    const QString file = w.ctx().databaseFile();
    // What a practice's IT person might do to the file with a tool of their own.
    const QString said = sqlTool(
        file, QStringLiteral("PRAGMA integrity_check;\n"
                             "UPDATE PatientRecords SET Phone = '555-0100' WHERE PatientID = 1;\n"
                             "UPDATE PatientRecords SET LastName = 'Zoë' WHERE PatientID = 1;\n"
                             "INSERT INTO PatientRecords (PatientID, LastName, FirstName) "
                             "VALUES (3, 'ÅBERG', 'Bo');\n"
                             // A folded form written wrongly along with the name.
                             "UPDATE PatientRecords SET LastName = 'Dunn', FoldedLastName = 'zzz' "
                             "WHERE PatientID = 2;\n"
                             "REINDEX;\nVACUUM;\nPRAGMA integrity_check;\n"));
    EXPECT_EQ(said, QStringLiteral("ok\nok"));

    // The next start gives the rows the tool wrote their folded names.
    SystemModule::connect(w.ctx());
    ASSERT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("zO")), QStringList{"1"});
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("åb")), QStringList{"3"});
    EXPECT_EQ(foundBy(w, QStringLiteral("First Name"), QStringLiteral("bo")), QStringList{"3"});
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("ól")), QStringList());
    // Never by a folded form that the name does not match.
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("zz")), QStringList());
    // The program's next save of that patient folds the name again.
    PatientFields fields;
    fields.LastName = QStringLiteral("Dunn");
    fields.FirstName = QStringLiteral("Cy");
    w.exec(patientUpdateSql(fields, QStringLiteral("2")));
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("DU")), QStringList{"2"});
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where FoldedLastName "
                                      "is null or FoldedFirstName is null"))
                  .toInt(),
              0);
    EXPECT_EQ(sqlTool(file, QStringLiteral("PRAGMA integrity_check;")), QStringLiteral("ok"));
}

TEST(NameIndexes, AnEarlierVersionsFileTradesItsFoldCaseIndexesWhenOpened)
{
    TestWorld w;
    const QString file = w.ctx().databaseFile();
    w.db().Close();
    QFile::remove(file);
    {
        // The file as the earlier version made it: its name indexes on FoldCase.
        QFile(file).open(QIODevice::WriteOnly);
        sqlite3 *db = openDatabaseFile(file, QString());
        for (const Schema::Statement &s : Schema::statements()) {
            if (s.kind == Schema::Statement::Table
                || (s.kind == Schema::Statement::Index && !s.name.startsWith("PatientRecords")))
                execOn(db, s.sql);
        }
        for (const Schema::Statement &s : Schema::earlierStatements())
            execOn(db, s.sql);
        execOn(db, QStringLiteral("insert into PatientRecords (PatientID, LastName, FirstName) "
                                  "values (1, 'Ólafsson', 'Anna'), (2, 'Smith', NULL)"));
        sqlite3_close(db);
        EXPECT_TRUE(sqlTool(file, QStringLiteral("PRAGMA integrity_check;"))
                        .contains(QStringLiteral("FoldCase")));
    }
    SystemModule::connect(w.ctx());
    ASSERT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    const QString steps = w.prompter().progressSteps.join('|');
    for (const char *step : {"PatientRecordsLastName", "FoldedLastName", "FoldedFirstName",
                             "PatientRecordsNameChanged", "PatientRecordsUnfolded"})
        EXPECT_TRUE(steps.contains(QLatin1String(step))) << steps.toStdString();
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from sqlite_master where sql like "
                                      "'%FoldCase%'"))
                  .toInt(),
              0);
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("ÓL")), QStringList{"1"});
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("")),
              (QStringList{"2", "1"}));
    EXPECT_EQ(sqlTool(file, QStringLiteral("PRAGMA integrity_check;\nUPDATE PatientRecords SET "
                                           "LastName = 'Smyth' WHERE PatientID = 2;\n"
                                           "PRAGMA integrity_check;")),
              QStringLiteral("ok\nok"));
    // The next start has nothing to change but the row the tool wrote.
    w.prompter().progressSteps.clear();
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.prompter().progressSteps.size(), 2)
        << w.prompter().progressSteps.join('|').toStdString();
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("smy")), QStringList{"2"});
}

TEST(NameIndexes, AnEarlierVersionsServerDatabaseGainsTheFoldedNamesWhenOpened)
{
    SKIP_WITHOUT_SERVER(EngineKind::Server);
    TestWorld w(EngineKind::Server);
    w.exec(QStringLiteral("drop index PatientRecordsLastName"));
    w.exec(QStringLiteral("drop index PatientRecordsFirstName"));
    w.exec(QStringLiteral("alter table PatientRecords drop column FoldedLastName"));
    w.exec(QStringLiteral("alter table PatientRecords drop column FoldedFirstName"));
    for (const Schema::Statement &s : Schema::earlierServerStatements())
        w.db().engine().createSchemaObject(s.sql);
    w.addPatient(1, QStringLiteral("Ólafsson"), QStringLiteral("Anna"));
    SystemModule::connect(w.ctx());
    ASSERT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from pg_indexes where indexname like "
                                      "'PatientRecords%Name' and indexdef like '%Folded%'"))
                  .toInt(),
              2);
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("ÓL")), QStringList{"1"});
    EXPECT_EQ(foundBy(w, QStringLiteral("First Name"), QStringLiteral("an")), QStringList{"1"});
}

TEST(NameIndexes, ANameThatFoldsIntoAsciiIsFoundByItsAsciiBeginning)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("SMITH"), QStringLiteral("A"));
    w.addPatient(2, QString::fromUtf8("\u017Fmith"), QStringLiteral("B")); // long s
    w.addPatient(3, QString::fromUtf8("\u212Aelvin"), QStringLiteral("C")); // Kelvin sign
    w.addPatient(4, QStringLiteral("Sn"), QStringLiteral("D"));
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("sm")),
              (QStringList{"1", "2"}));
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("KE")), QStringList{"3"});
    EXPECT_EQ(foundBy(w, QStringLiteral("Last Name"), QStringLiteral("s")),
              (QStringList{"1", "2", "4"}));
}
