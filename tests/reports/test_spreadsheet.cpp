#include <map>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "data/Recordset.h"
#include "reports/modSaveRecordset.h"
#include "app/Startup.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"

namespace {

struct Cell
{
    QString type; // "n" for a number, "inlineStr" or "s" for text
    QString value;
};

// Cells of the first sheet by reference ("A1"), read from the workbook's XML.
std::map<QString, Cell> sheetCells(const QString &workbook)
{
    const QByteArray xml = runTool(QStringLiteral("unzip"),
                                   {QStringLiteral("-p"), workbook,
                                    QStringLiteral("xl/worksheets/sheet1.xml")});
    std::map<QString, Cell> cells;
    QXmlStreamReader r(xml);
    QString ref;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement())
            continue;
        if (r.name() == QLatin1String("c")) {
            ref = r.attributes().value(QLatin1String("r")).toString();
            const QString t = r.attributes().value(QLatin1String("t")).toString();
            cells[ref].type = t.isEmpty() ? QStringLiteral("n") : t;
        } else if (r.name() == QLatin1String("v") || r.name() == QLatin1String("t")) {
            cells[ref].value = r.readElementText();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return cells;
}

} // namespace

TEST(Spreadsheet, FieldNamesThenValuesNumbersStayNumbersNullStaysEmpty)
{
    TestWorld w;
    addTrickyVisits(w);
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToXLS(rs, QString(), w.ctx());

    EXPECT_TRUE(rs.isEOF());
    ASSERT_EQ(w.prompter().urls.size(), 1);
    const QString book = w.prompter().urls.first();
    // In the program's own folder inside TEMP.
    EXPECT_EQ(QFileInfo(QFileInfo(book).absolutePath()).absolutePath(),
              QFileInfo(w.path(QStringLiteral("temp"))).absoluteFilePath());
    EXPECT_TRUE(book.endsWith(QLatin1String(".xlsx")));
    EXPECT_TRUE(w.prompter().boxes.empty());

    const auto cells = sheetCells(book);
    EXPECT_EQ(cells.at("A1").value, "PatientID");
    EXPECT_EQ(cells.at("C1").value, "Visit Date");
    EXPECT_EQ(cells.at("A2").type, "n");
    EXPECT_EQ(cells.at("A2").value, "7");
    EXPECT_NE(cells.at("B2").type, "n");
    EXPECT_EQ(cells.at("B2").value, "Ana Cruz");
    EXPECT_EQ(cells.at("D2").value, "Cough \"dry\" <3 days");
    EXPECT_EQ(cells.count("F2"), 0u) << "a NULL leaves the cell empty";
    EXPECT_EQ(cells.at("B3").value, "Łukasz Żółć");
    EXPECT_EQ(cells.at("F3").value, "M. Reyes");
    EXPECT_EQ(cells.count("A4"), 0u);

    // Each export is a new workbook.
    rs.MoveFirst();
    SaveRecordsetToXLS(rs, QString(), w.ctx());
    ASSERT_EQ(w.prompter().urls.size(), 2);
    EXPECT_NE(w.prompter().urls.at(0), w.prompter().urls.at(1));
}

TEST(Spreadsheet, TellsWhereTheWorkbookIsWhenNothingOpensIt)
{
    TestWorld w;
    addTrickyVisits(w);
    w.prompter().urlOpens = false;
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToXLS(rs, QString(), w.ctx());

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    const QString book = w.prompter().urls.value(0);
    EXPECT_TRUE(QFileInfo::exists(book));
    EXPECT_TRUE(w.prompter().last().text.contains(book));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
}

TEST(Spreadsheet, WorkbookIsOwnerOnlyAndTheNextStartRemovesIt)
{
    TestWorld w;
    addTrickyVisits(w);
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToXLS(rs, QString(), w.ctx());
    ASSERT_EQ(w.prompter().urls.size(), 1);
    const QString book = w.prompter().urls.first();
    EXPECT_EQ(QFileInfo(book).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    // In this user's own folder inside TEMP, which no one else may enter.
    const QFileInfo folder(QFileInfo(book).absolutePath());
    EXPECT_EQ(folder.absolutePath(), QFileInfo(w.path(QStringLiteral("temp"))).absoluteFilePath());
    EXPECT_EQ(folder.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Files that only look alike are somebody else's.
    const QDir temp(w.path(QStringLiteral("temp")));
    const QStringList others = {"Medlantis-notes.xlsx", "Medlantis-abc123.xlsx.bak",
                                "report.xlsx", "Medlantis-ab12.xlsx"};
    for (const QString &name : others) {
        QFile f(temp.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    SingleInstance instance(w.path(QStringLiteral("runtime")));
    Main(w.ctx(), instance, [] { return QStringLiteral("4.5.4 community"); });
    EXPECT_FALSE(QFileInfo::exists(book));
    for (const QString &name : others)
        EXPECT_TRUE(temp.exists(name)) << name.toStdString();
}
