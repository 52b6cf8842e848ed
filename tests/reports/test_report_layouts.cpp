#include <QLocale>

#include <gtest/gtest.h>

#include "data/DbError.h"
#include "data/Recordset.h"
#include "reports/ReportEngine.h"
#include "reports/ReportLayouts.h"
#include "support/TestWorld.h"

namespace {

const QDate kDate(2024, 7, 9);

ReportData rowsOf(const QStringList &fields, int count)
{
    ReportData data;
    data.fields = fields;
    for (int i = 0; i < count; ++i) {
        std::vector<QVariant> row;
        for (const QString &f : fields)
            row.push_back(f + QString::number(i + 1));
        data.rows.push_back(row);
    }
    return data;
}

// Texts of one page, joined by blanks, for "contains" checks.
QString joined(const ReportDocument &doc, int page)
{
    return doc.textsOf(page).join(QLatin1Char(' '));
}

int countIn(const ReportDocument &doc, const QString &text)
{
    int n = 0;
    for (int p = 0; p < doc.pageCount(); ++p)
        n += doc.textsOf(p).count(text);
    return n;
}

} // namespace

TEST(ReportLayouts, EachFitsItsLandscapePage)
{
    const struct
    {
        ReportLayout layout;
        const char *caption;
        int width;
        bool modal;
    } cases[] = {
        {DRPatientList(), "Patient List", 12960, false},
        {DRUserList(), "User List", 8655, true},
        {DRMedicalHistoryIndividual(), "Medical History (Individual)", 11820, false},
        {DRMedicalHistoryAll(), "Medical History (All)", 12681, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.layout.caption, c.caption);
        EXPECT_EQ(c.layout.reportWidth, c.width);
        EXPECT_EQ(c.layout.modal, c.modal);
        EXPECT_TRUE(c.layout.landscape);
        for (auto size : {QPageSize::Letter, QPageSize::A4}) {
            ReportLayout l = c.layout;
            l.pageSize = size;
            EXPECT_LE(l.reportWidth, l.pageWidth());
        }
        for (BandKind kind : {BandKind::ReportHeader, BandKind::PageHeader, BandKind::Detail,
                              BandKind::ReportFooter}) {
            for (const ReportControl &ctl : c.layout.band(kind).controls) {
                EXPECT_LE(ctl.left + ctl.width, c.layout.reportWidth) << ctl.text.toStdString();
                EXPECT_LE(ctl.top + ctl.height, c.layout.band(kind).height)
                    << ctl.text.toStdString();
            }
        }
    }
    EXPECT_EQ(DRPatientList().fieldNames(),
              QStringList({"PatientID", "LastName", "FirstName", "MiddleName", "DateOfBirth",
                           "Gender", "MaritalStatus", "Phone", "Mobile"}));
    EXPECT_EQ(DRMedicalHistoryAll().fieldNames(),
              QStringList({"PatientID", "VisitDate", "LastName", "FirstName", "ChiefComplaint",
                           "Physician", "Nurse"}));
}

TEST(ReportLayouts, PatientListOf120PagesWithNumberingAndOneFooter)
{
    TestWorld w;
    for (int id = 1; id <= 120; ++id)
        w.addPatient(id, QStringLiteral("Last%1").arg(id), QStringLiteral("First%1").arg(id));
    Recordset rs;
    rs.Open(QStringLiteral("Select * from PatientRecords"), w.db());
    ReportLayout layout = DRPatientList();
    layout.pageSize = QPageSize::Letter;
    const ReportDocument doc(layout, ReportData::fromRecordset(rs, layout.fieldNames()), kDate);

    const int pages = doc.pageCount();
    ASSERT_GE(pages, 3);
    QStringList ids;
    for (int p = 0; p < pages; ++p) {
        const QStringList texts = doc.textsOf(p);
        SCOPED_TRACE(p);
        EXPECT_EQ(texts.mid(0, 4), QStringList({"Page(s):", QString::number(p + 1), "of",
                                                QString::number(pages)}));
        EXPECT_EQ(texts.mid(4, 9),
                  QStringList({"Patient ID", "Last Name", "First Name", "Middle Name",
                               "Birth Date", "Gender", "Civil Status", "Phone No.",
                               "Mobile No."}));
        for (const ReportText &t : doc.texts(p)) {
            EXPECT_GE(t.rect.top(), 0);
            EXPECT_LE(t.rect.top() + t.rect.height(), layout.pageHeight());
            if (t.control->kind == ReportControl::Field && t.control->text == "PatientID")
                ids << t.text;
        }
    }
    QStringList expected;
    for (int id = 1; id <= 120; ++id)
        expected << QString::number(id);
    EXPECT_EQ(ids, expected);

    EXPECT_EQ(countIn(doc, QStringLiteral("Total Records:")), 1);
    EXPECT_EQ(countIn(doc, QStringLiteral("Report Date:")), 1);
    const QStringList last = doc.textsOf(pages - 1);
    EXPECT_EQ(last.mid(last.indexOf("Total Records:"), 2), QStringList({"Total Records:", "120"}));
    EXPECT_EQ(last.mid(last.indexOf("Report Date:"), 2),
              QStringList({"Report Date:", QLocale().toString(kDate, QLocale::LongFormat)}));
    EXPECT_TRUE(doc.textsOf(0).contains("Last1"));
    EXPECT_EQ(doc.pageLayout().orientation(), QPageLayout::Landscape);
}

TEST(ReportLayouts, IndividualHistoryNumbersItsPagesOnceAtTheEnd)
{
    ReportLayout layout = DRMedicalHistoryIndividual();
    layout.setCaption(QStringLiteral("lblPatientID"), QStringLiteral("Patient ID: 7"));
    layout.setCaption(QStringLiteral("lblPatientName"), QStringLiteral("Patient Name: Ana Cruz"));
    EXPECT_THROW(layout.setCaption(QStringLiteral("lblNone"), QStringLiteral("x")),
                 std::invalid_argument);
    const ReportDocument doc(layout,
                             rowsOf({"PatientID", "PatientName", "VisitDate", "ChiefComplaint",
                                     "Physician", "Nurse"},
                                    90),
                             kDate);
    const int pages = doc.pageCount();
    ASSERT_GE(pages, 2);
    EXPECT_EQ(countIn(doc, QStringLiteral("Page(s):")), 1);
    EXPECT_EQ(countIn(doc, QStringLiteral("Patient ID: 7")), 1);
    EXPECT_EQ(doc.textsOf(0).mid(0, 2), QStringList({"Patient ID: 7", "Patient Name: Ana Cruz"}));
    for (int p = 0; p < pages; ++p)
        EXPECT_TRUE(doc.textsOf(p).contains("Nurse On Duty")) << p;
    const QString last = joined(doc, pages - 1);
    EXPECT_TRUE(last.contains(QStringLiteral("Total Records: 90")));
    EXPECT_TRUE(last.contains(QStringLiteral("Page(s): %1 of %1").arg(pages)))
        << last.toStdString();
    EXPECT_TRUE(joined(doc, 0).contains(QStringLiteral("VisitDate1 ChiefComplaint1")));
}

TEST(ReportLayouts, PaginationKeepsEveryBandOnItsPageAtAnyCount)
{
    // Around the page boundaries the footer must move to a page of its own
    // rather than run over the bottom.
    const ReportLayout layout = DRUserList();
    const int height = 4000;
    for (int count = 0; count <= 40; ++count) {
        const Pagination p = paginate(layout, count, height);
        SCOPED_TRACE(count);
        int details = 0;
        int footers = 0;
        for (const ReportPage &page : p.pages) {
            ASSERT_FALSE(page.bands.empty());
            EXPECT_EQ(page.bands.front().kind, BandKind::PageHeader);
            int y = 0;
            for (const PlacedBand &b : page.bands) {
                EXPECT_GE(b.top, y);
                y = b.top + layout.band(b.kind).height;
                EXPECT_LE(y, height);
                if (b.kind == BandKind::Detail)
                    EXPECT_EQ(b.row, details++);
                footers += b.kind == BandKind::ReportFooter;
            }
        }
        EXPECT_EQ(details, count);
        EXPECT_EQ(footers, 1);
        // No page is left empty but for its header, except to hold the footer.
        for (size_t i = 0; i + 1 < p.pages.size(); ++i)
            EXPECT_GT(p.pages[i].bands.size(), 1u);
    }
}

TEST(ReportLayouts, MissingFieldIsAnError)
{
    try {
        ReportDocument doc(DRUserList(), rowsOf({"UserID", "UserName"}, 1));
        FAIL() << "no error";
    } catch (const DbError &e) {
        EXPECT_EQ(e.description(), QStringLiteral("Data field 'Privilege' not found."));
    }
}
