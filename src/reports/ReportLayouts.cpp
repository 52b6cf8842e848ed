#include "reports/ReportLayouts.h"

namespace {

const QString kArial = QStringLiteral("Arial");
const QString kLucida = QStringLiteral("Lucida Sans Unicode");
const QString kVerdana = QStringLiteral("Verdana");

// Row positions inside the bands.
constexpr int kNumberingTop = 0;
constexpr int kHeadingTop = 360;
constexpr int kPageHeaderHeight = 660;
constexpr int kDetailHeight = 285;
constexpr int kFooterTop = 240;
constexpr int kFooterHeight = 540;

ReportControl text(ReportControl::Kind kind, const QString &text, int left, int width, int top,
                   const QString &family, double pointSize, bool bold)
{
    ReportControl c;
    c.kind = kind;
    c.text = text;
    c.left = left;
    c.width = width;
    c.top = top;
    c.family = family;
    c.pointSize = pointSize;
    c.bold = bold;
    c.height = pointSize > 10 ? 330 : 255;
    return c;
}

ReportControl label(const QString &caption, int left, int width, int top, const QString &family,
                    double pointSize, bool bold)
{
    return text(ReportControl::Label, caption, left, width, top, family, pointSize, bold);
}

ReportControl field(const QString &name, int left, int width, const QString &family,
                    double pointSize)
{
    return text(ReportControl::Field, name, left, width, 15, family, pointSize, false);
}

// "Page(s):" n "of" N, at the four given positions; the last one runs to
// the report's right edge.
void addNumbering(ReportBand &band, const int (&left)[4], int reportWidth, int top,
                  const QString &family)
{
    band.controls.push_back(label(QStringLiteral("Page(s):"), left[0], left[1] - left[0], top,
                                  family, 8.25, true));
    band.controls.push_back(label(QStringLiteral("%p"), left[1], left[2] - left[1], top, family,
                                  8.25, false));
    band.controls.push_back(label(QStringLiteral("of"), left[2], left[3] - left[2], top, family,
                                  8.25, false));
    band.controls.push_back(label(QStringLiteral("%P"), left[3], reportWidth - left[3], top,
                                  family, 8.25, false));
}

// "Report Date:" and the date, "Total Records:" and the record count.
void addTotals(ReportBand &band, int top, const QString &family)
{
    band.controls.push_back(
        label(QStringLiteral("Report Date:"), 0, 1584, top, family, 8.25, true));
    band.controls.push_back(label(QStringLiteral("%D"), 1584, 2880, top, family, 8.25, false));
    band.controls.push_back(
        label(QStringLiteral("Total Records:"), 4464, 1440, top, family, 8.25, true));
    band.controls.push_back(text(ReportControl::RecordCount, QString(), 5904, 1440, top, family,
                                 8.25, false));
}

struct Column
{
    const char *heading;
    const char *field;
    int left;
    int width;
};

template <size_t N>
void addColumns(ReportLayout &layout, const Column (&columns)[N], int headingTop,
                const QString &family, double headingSize, double valueSize)
{
    for (const Column &c : columns) {
        layout.band(BandKind::PageHeader)
            .controls.push_back(label(QString::fromLatin1(c.heading), c.left, c.width,
                                      headingTop, family, headingSize, true));
        layout.band(BandKind::Detail)
            .controls.push_back(
                field(QString::fromLatin1(c.field), c.left, c.width, family, valueSize));
    }
    layout.band(BandKind::Detail).height = kDetailHeight;
}

// The list layouts: numbering and headings in the page header, totals in
// the report footer.
ReportLayout listLayout(const QString &name, const QString &caption, int width,
                        const int (&numbering)[4])
{
    ReportLayout layout;
    layout.name = name;
    layout.caption = caption;
    layout.reportWidth = width;
    layout.margin = 720;
    ReportBand &header = layout.band(BandKind::PageHeader);
    header.height = kPageHeaderHeight;
    addNumbering(header, numbering, width, kNumberingTop, kVerdana);
    ReportBand &footer = layout.band(BandKind::ReportFooter);
    footer.height = kFooterHeight;
    addTotals(footer, kFooterTop, kVerdana);
    return layout;
}

} // namespace

ReportLayout DRPatientList()
{
    ReportLayout layout = listLayout(QStringLiteral("DRPatientList"),
                                     QStringLiteral("Patient List"), 12960,
                                     {10224, 11088, 11664, 12240});
    const Column columns[] = {
        {"Patient ID", "PatientID", 0, 1440},        {"Last Name", "LastName", 1440, 1440},
        {"First Name", "FirstName", 2880, 1440},     {"Middle Name", "MiddleName", 4320, 1440},
        {"Birth Date", "DateOfBirth", 5760, 1440},   {"Gender", "Gender", 7200, 1440},
        {"Civil Status", "MaritalStatus", 8640, 1440}, {"Phone No.", "Phone", 10080, 1440},
        {"Mobile No.", "Mobile", 11520, 1440},
    };
    addColumns(layout, columns, kHeadingTop, kArial, 9.75, 9);
    return layout;
}

ReportLayout DRUserList()
{
    ReportLayout layout = listLayout(QStringLiteral("DRUserList"), QStringLiteral("User List"),
                                     8655, {6048, 6912, 7488, 8064});
    layout.modal = true;
    const Column columns[] = {
        {"User ID", "UserID", 0, 1440},
        {"User Name", "UserName", 1440, 1440},
        {"Privilege", "Privilege", 2880, 1440},
    };
    addColumns(layout, columns, kHeadingTop, kLucida, 9, 9);
    return layout;
}

ReportLayout DRMedicalHistoryIndividual()
{
    ReportLayout layout;
    layout.name = QStringLiteral("DRMedicalHistoryIndividual");
    layout.caption = QStringLiteral("Medical History (Individual)");
    layout.reportWidth = 11820;
    layout.margin = 100;

    ReportBand &title = layout.band(BandKind::ReportHeader);
    title.height = 480;
    ReportControl id = label(QStringLiteral("PatientID"), 144, 2880, 60, kArial, 12, true);
    id.name = QStringLiteral("lblPatientID");
    ReportControl patient = label(QStringLiteral("PatientName"), 3168, 7200, 60, kArial, 12, true);
    patient.name = QStringLiteral("lblPatientName");
    title.controls = {id, patient};

    layout.band(BandKind::PageHeader).height = 330;
    const Column columns[] = {
        {"Visit Date", "VisitDate", 0, 1440},
        {"Chief Complaint", "ChiefComplaint", 1440, 3744},
        {"Physician", "Physician", 5184, 3600},
        {"Nurse On Duty", "Nurse", 8784, 3024},
    };
    addColumns(layout, columns, 30, kArial, 9, 9);

    // Page numbers print once, at the end, beside the totals.
    ReportBand &footer = layout.band(BandKind::ReportFooter);
    footer.height = kFooterHeight;
    addTotals(footer, kFooterTop, kArial);
    addNumbering(footer, {9216, 10080, 10656, 11232}, layout.reportWidth, kFooterTop, kArial);
    return layout;
}

ReportLayout DRMedicalHistoryAll()
{
    ReportLayout layout = listLayout(QStringLiteral("DRMedicalHistoryAll"),
                                     QStringLiteral("Medical History (All)"), 12681,
                                     {10080, 10944, 11520, 12096});
    layout.modal = true;
    const Column columns[] = {
        {"Patient ID", "PatientID", 0, 1440},
        {"Visit Date", "VisitDate", 1440, 1440},
        {"Last Name", "LastName", 2880, 1440},
        {"First Name", "FirstName", 4320, 1440},
        {"Chief Complaint", "ChiefComplaint", 5760, 1875},
        {"Physician", "Physician", 7632, 2592},
        {"Nurse On Duty", "Nurse", 10224, 2448},
    };
    addColumns(layout, columns, kHeadingTop, kLucida, 9, 9);
    return layout;
}
