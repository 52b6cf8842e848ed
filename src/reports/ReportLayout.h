#pragma once

#include <array>
#include <vector>

#include <QPageSize>
#include <QString>
#include <QStringList>

// A banded report as data. Positions and sizes are in twips (1440 to the
// inch), measured from the left margin and from the top of the band.

enum class BandKind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };

struct ReportControl
{
    enum Kind {
        Label,      // fixed text; "%D" long date, "%p" page, "%P" page count
        Field,      // the value of the data field named by text
        RecordCount // the number of records in the report
    };
    Kind kind = Label;
    QString name; // design name, e.g. "lblPatientID"; may be empty
    QString text; // caption, or the data field's name
    int left = 0;
    int top = 0;
    int width = 1440;
    int height = 240;
    QString family = QStringLiteral("Arial");
    double pointSize = 9;
    bool bold = false;
    bool alignRight = false;
};

struct ReportBand
{
    int height = 0; // 0: the band prints nothing
    std::vector<ReportControl> controls;
};

class ReportLayout
{
public:
    QString name;    // "DRPatientList"
    QString caption; // the preview window's caption
    int reportWidth = 0;
    int margin = 720; // all four sides
    bool landscape = true;
    bool modal = false; // shown modally over its caller
    QPageSize::PageSizeId pageSize = defaultPageSize();

    ReportBand &band(BandKind kind) { return m_bands[size_t(kind)]; }
    const ReportBand &band(BandKind kind) const { return m_bands[size_t(kind)]; }

    // The data fields the detail and the other bands read, in layout order.
    QStringList fieldNames() const;
    // Sets the caption of the label with that design name. Throws
    // std::invalid_argument when the layout has no such label.
    void setCaption(const QString &controlName, const QString &caption);
    const ReportControl *control(const QString &controlName) const;

    // Printable area of one page, in twips.
    int pageWidth() const;
    int pageHeight() const;

    // Letter where the locale measures in inches, A4 elsewhere.
    static QPageSize::PageSizeId defaultPageSize();

private:
    std::array<ReportBand, 5> m_bands;
};
