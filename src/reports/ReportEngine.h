#pragma once

#include <vector>

#include <QDate>
#include <QPageLayout>
#include <QRect>
#include <QString>
#include <QStringList>

#include "reports/ReportData.h"
#include "reports/ReportLayout.h"

class QPagedPaintDevice;
class QPainter;

// One band printed on a page: where its top lies (twips below the top
// margin) and, for the detail, which record it shows.
struct PlacedBand
{
    BandKind kind;
    int row; // record index for the detail, -1 for the other bands
    int top;
};

struct ReportPage
{
    std::vector<PlacedBand> bands;
};

struct Pagination
{
    std::vector<ReportPage> pages;
    int pageHeight = 0;
    int pageCount() const { return int(pages.size()); }
};

// Lays the bands out on pages: report header once at the top, the page
// header on every page, one detail per record, the page footer at the foot
// of every page and the report footer once after the last record. Band
// heights are fixed, so only the record count and page height matter.
Pagination paginate(const ReportLayout &layout, int recordCount, int pageHeight);

// A text as printed, in twips from the top-left margin corner of its page.
struct ReportText
{
    QString text;
    QRect rect;
    const ReportControl *control;
};

// The texts of one page with "%D", "%p", "%P", field values and the record
// count filled in.
std::vector<ReportText> pageTexts(const ReportLayout &layout, const ReportData &data,
                                  const Pagination &pagination, int page, const QDate &date);

// A layout filled with its rows and paginated for the layout's own page.
class ReportDocument
{
public:
    // Throws DbError when the data lacks a field the layout prints.
    ReportDocument(ReportLayout layout, ReportData data,
                   const QDate &date = QDate::currentDate());

    const ReportLayout &layout() const { return m_layout; }
    const ReportData &data() const { return m_data; }
    const Pagination &pagination() const { return m_pagination; }
    QDate date() const { return m_date; }
    int pageCount() const { return m_pagination.pageCount(); }

    std::vector<ReportText> texts(int page) const;
    QStringList textsOf(int page) const; // just the strings, in print order
    QPageLayout pageLayout() const;

private:
    ReportLayout m_layout;
    ReportData m_data;
    QDate m_date;
    Pagination m_pagination;
};

// Paints one page; the painter's origin is the top-left margin corner and
// its unit is one twip.
void paintPage(QPainter &painter, const std::vector<ReportText> &texts);

// Prints every page onto a printer or PDF writer whose page layout is set;
// paginates again when that page differs from the layout's own.
void printReport(const ReportDocument &doc, QPagedPaintDevice &device);

// Writes the report as a PDF file (through a temporary file, so a failure
// leaves nothing behind). Throws std::runtime_error.
void saveReportPdf(const ReportDocument &doc, const QString &fileName);
