#include <functional>

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "data/Recordset.h"
#include "reports/modSaveRecordset.h"
#include "support/TestWorld.h"

namespace {

using Writer = std::function<void(Recordset &, const QString &)>;

struct TextFormat
{
    const char *extension;
    Writer write;
};

const TextFormat kFormats[] = {
    {"xml", SaveRecordsetToXML},
    {"csv", SaveRecordsetToCSV},
    {"txt", SaveRecordsetToTXT},
};

// Fields of a CSV text as RFC 4180 reads them.
std::vector<QStringList> parseCsv(const QString &text)
{
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            const bool doubled = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"');
            if (c == QLatin1Char('"') && doubled) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && text.mid(i, 2) == QStringLiteral("\r\n")) {
            record << field;
            field.clear();
            records.push_back(record);
            record.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

// Element texts of each <row>, in order.
std::vector<QStringList> parseXml(const QByteArray &bytes, QString *error)
{
    std::vector<QStringList> rows;
    QXmlStreamReader xml(bytes);
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 2)
                rows.emplace_back();
            else if (depth == 3)
                rows.back() << xml.readElementText(), --depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return rows;
}

} // namespace

TEST(Writers, WriteTheExpectedBytes)
{
    TestWorld w;
    addTrickyVisits(w);
    for (const TextFormat &format : kFormats) {
        SCOPED_TRACE(format.extension);
        Recordset rs;
        rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
        const QString file = w.path(QStringLiteral("visits.") + format.extension);
        format.write(rs, file);
        EXPECT_TRUE(rs.isEOF()) << "the writer leaves the recordset at its end";
        EXPECT_EQ(readFile(file), expectedFile(QStringLiteral("export_visits/visits.")
                                               + format.extension));
    }
}

TEST(Writers, EmptyResultGivesHeadingsOnly)
{
    TestWorld w;
    const struct
    {
        Writer write;
        QByteArray expected;
    } cases[] = {
        {SaveRecordsetToXML, "<xml>\r\n</xml>\r\n"},
        {SaveRecordsetToCSV, "\"PatientID\",\"Last Name\",\r\n\r\n"},
        {SaveRecordsetToTXT, "PatientID\tLast Name\t\r\n\r\n"},
    };
    for (const auto &c : cases) {
        Recordset rs;
        rs.Open(QStringLiteral("select PatientID, LastName as [Last Name] from PatientRecords"),
                w.db(), adOpenStatic, adLockReadOnly);
        const QString file = w.path(QStringLiteral("empty.out"));
        c.write(rs, file);
        EXPECT_EQ(readFile(file), c.expected);
    }
}

TEST(Writers, StartAtTheCurrentRow)
{
    TestWorld w;
    addTrickyVisits(w);
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    rs.MoveNext();
    EXPECT_EQ(recordsetTxt(rs),
              QStringLiteral("PatientID\tPatient Name\tVisit Date\tChief Complaint\tPhysician\t"
                             "Nurse\t\r\n12\tŁukasz Żółć\t2024-04-11\tFever & chills > 38\t"
                             "Dr. Ωμέγα\tM. Reyes\t\r\n"));
}

TEST(Writers, ValuesRoundTripAsFarAsTheFormatAllows)
{
    TestWorld w;
    const QStringList values = {
        QStringLiteral("plain"),
        QStringLiteral("tab\there"),
        QStringLiteral("two\r\nlines"),
        QStringLiteral("say \"hi\", twice"),
        QStringLiteral("a < b && c > d"),
        QStringLiteral("O'Brien"),
        QStringLiteral("Ærøskøbing Ωμέγα 東京"),
        QStringLiteral("</Notes><x>"),
    };
    {
        Recordset add;
        add.Open(QStringLiteral("select PatientID, Notes from PatientRecords"), w.db());
        for (int i = 0; i < values.size(); ++i) {
            add.AddNew();
            add.setValue(QStringLiteral("PatientID"), i + 1);
            add.setValue(QStringLiteral("Notes"), values.at(i));
            add.Update();
        }
    }
    const QString sql =
        QStringLiteral("select PatientID as [Patient ID], Notes from PatientRecords");
    Recordset rs;

    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToCSV(rs, w.path(QStringLiteral("r.csv")));
    const auto csv = parseCsv(QString::fromUtf8(readFile(w.path(QStringLiteral("r.csv")))));
    ASSERT_EQ(csv.size(), size_t(values.size() + 2)); // heading, rows, final empty line
    EXPECT_EQ(csv[0], (QStringList{QStringLiteral("Patient ID"), QStringLiteral("Notes"), ""}));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(csv[size_t(i + 1)].value(1), values.at(i));

    rs.Close();
    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToXML(rs, w.path(QStringLiteral("r.xml")));
    QString error;
    const auto xml = parseXml(readFile(w.path(QStringLiteral("r.xml"))), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(xml.size(), size_t(values.size()));
    for (int i = 0; i < values.size(); ++i) {
        // XML readers turn CR LF into LF.
        EXPECT_EQ(xml[size_t(i)].value(1), QString(values.at(i)).replace("\r\n", "\n"));
    }

    rs.Close();
    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToTXT(rs, w.path(QStringLiteral("r.txt")));
    const QString txt = QString::fromUtf8(readFile(w.path(QStringLiteral("r.txt"))));
    const QStringList lines = txt.split(QStringLiteral("\r\n"));
    // One row per line, two separators each: a tab or line break inside a
    // value is a blank, so no value slides under another heading.
    ASSERT_EQ(lines.size(), values.size() + 3) << txt.toStdString(); // heading, rows, "", ""
    for (int i = 0; i < values.size(); ++i) {
        QString v = values.at(i);
        v.replace(QStringLiteral("\r\n"), QStringLiteral("  ")).replace(QLatin1Char('\t'), ' ');
        EXPECT_EQ(lines.at(i + 1), QString::number(i + 1) + QLatin1Char('\t') + v + QLatin1Char('\t'));
        EXPECT_EQ(lines.at(i + 1).count(QLatin1Char('\t')), 2);
    }
}

TEST(Writers, ElementNamesAreValidXml)
{
    const struct
    {
        const char *field;
        const char *element;
    } cases[] = {
        {"Visit Date", "Visit_Date"},
        {"Phone Number", "Phone_Number"},
        {"PatientID", "PatientID"},
        {"Firstname+' '+Lastname", "Firstname_____Lastname"},
        {"1st Visit", "_st_Visit"},
        {"Größe", "Größe"},
        {"a:b/c", "a_b_c"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(xmlElementName(QString::fromUtf8(c.field)), QString::fromUtf8(c.element));
}

TEST(Writers, FailureLeavesNoFileBehind)
{
    TestWorld w;
    addTrickyVisits(w);
    QDir folder(w.path(QStringLiteral("out")));
    folder.mkpath(QStringLiteral("taken"));
    const QString intoMissingFolder = w.path(QStringLiteral("missing/visits.csv"));
    const QString ontoFolder = folder.filePath(QStringLiteral("taken"));
    for (const TextFormat &format : kFormats) {
        for (const QString &target : {intoMissingFolder, ontoFolder}) {
            SCOPED_TRACE(std::string(format.extension) + " " + target.toStdString());
            Recordset rs;
            rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
            EXPECT_THROW(format.write(rs, target), std::exception);
            EXPECT_FALSE(QFile::exists(intoMissingFolder));
            EXPECT_TRUE(QFileInfo(ontoFolder).isDir());
            EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                      QStringList{QStringLiteral("taken")});
        }
    }
}

TEST(Writers, ATextThatASpreadsheetWouldRunIsWrittenAsText)
{
    const struct
    {
        const char *value;
        const char *csv; // as a CSV reader gives the field back
        const char *txt; // the value in its TXT line
    } cases[] = {
        {"-", "'-", "'-"},
        {"-5", "-5", "-5"},
        {"+1 555 0100", "'+1 555 0100", "'+1 555 0100"},
        {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"},
        {"@SUM(A1:A9)", "'@SUM(A1:A9)", "'@SUM(A1:A9)"},
        {"\t=1+1", "'\t=1+1", "' =1+1"},
        {"\r=1+1", "'\r=1+1", "' =1+1"},
        {"+5", "+5", "+5"},
        {"-12.50", "-12.50", "-12.50"},
        {"-.5e3", "-.5e3", "-.5e3"},
        {"-5-5", "'-5-5", "'-5-5"},
        {"2026-12-10", "2026-12-10", "2026-12-10"},
        {"a=b", "a=b", "a=b"},
        {"O'Brien", "O'Brien", "O'Brien"},
        {"", "", ""},
    };
    TestWorld w;
    {
        Recordset add;
        add.Open(QStringLiteral("select PatientID, Notes from PatientRecords"), w.db());
        int id = 0;
        for (const auto &c : cases) {
            add.AddNew();
            add.setValue(QStringLiteral("PatientID"), ++id);
            add.setValue(QStringLiteral("Notes"), QString::fromUtf8(c.value));
            add.Update();
        }
        // A number column: a negative id stays a number.
        add.AddNew();
        add.setValue(QStringLiteral("PatientID"), -7);
        add.setValue(QStringLiteral("Notes"), QStringLiteral("-"));
        add.Update();
    }
    const QString sql =
        QStringLiteral("select PatientID, Notes from PatientRecords order by PatientID desc");
    Recordset rs;
    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    const auto csv = parseCsv(recordsetCsv(rs));
    rs.Close();
    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    const QStringList txt = recordsetTxt(rs).split(QStringLiteral("\r\n"));
    const int n = int(std::size(cases));
    ASSERT_EQ(csv.size(), size_t(n + 2)); // heading and rows
    ASSERT_EQ(txt.size(), n + 3);         // heading, rows, ""

    for (int i = 0; i < n; ++i) {
        const auto &c = cases[n - 1 - i]; // newest id first
        SCOPED_TRACE(c.value);
        EXPECT_EQ(csv[size_t(i + 1)].value(1), QString::fromUtf8(c.csv));
        EXPECT_EQ(txt.at(i + 1).section(QLatin1Char('\t'), 1, 1), QString::fromUtf8(c.txt));
    }
    EXPECT_EQ(csv[size_t(n + 1)].value(0), QStringLiteral("-7"));
    EXPECT_EQ(csv[size_t(n + 1)].value(1), QStringLiteral("'-"));
    EXPECT_TRUE(txt.at(n + 1).startsWith(QStringLiteral("-7\t'-\t")));
}
