#include "reports/ReportEngine.h"

#include <map>
#include <stdexcept>
#include <tuple>

#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "data/DbError.h"

Pagination paginate(const ReportLayout &layout, int recordCount, int pageHeight)
{
    const ReportBand &reportHeader = layout.band(BandKind::ReportHeader);
    const ReportBand &pageHeader = layout.band(BandKind::PageHeader);
    const ReportBand &detail = layout.band(BandKind::Detail);
    const ReportBand &pageFooter = layout.band(BandKind::PageFooter);
    const ReportBand &reportFooter = layout.band(BandKind::ReportFooter);
    const int bottom = pageHeight - pageFooter.height;

    Pagination p;
    p.pageHeight = pageHeight;
    int y = 0;
    int bodyTop = 0; // where this page's own content starts, below its headers
    const auto place = [&](BandKind kind, int row, int height) {
        p.pages.back().bands.push_back({kind, row, y});
        y += height;
    };
    const auto startPage = [&] {
        p.pages.emplace_back();
        y = 0;
        if (pageHeader.height > 0)
            place(BandKind::PageHeader, -1, pageHeader.height);
        bodyTop = y;
    };
    const auto endPage = [&] {
        if (pageFooter.height > 0)
            p.pages.back().bands.push_back({BandKind::PageFooter, -1, bottom});
    };
    // A band that does not fit goes to the next page, unless the page holds
    // nothing of its own yet: then it would fit nowhere, and prints here.
    const auto makeRoom = [&](int height) {
        if (y + height > bottom && y > bodyTop) {
            endPage();
            startPage();
        }
    };

    p.pages.emplace_back();
    if (reportHeader.height > 0)
        place(BandKind::ReportHeader, -1, reportHeader.height);
    if (pageHeader.height > 0)
        place(BandKind::PageHeader, -1, pageHeader.height);
    bodyTop = y;
    if (detail.height > 0) {
        for (int row = 0; row < recordCount; ++row) {
            makeRoom(detail.height);
            place(BandKind::Detail, row, detail.height);
        }
    }
    if (reportFooter.height > 0) {
        makeRoom(reportFooter.height);
        place(BandKind::ReportFooter, -1, reportFooter.height);
    }
    endPage();
    return p;
}

namespace {

QString printable(QString text)
{
    // Values print on one line.
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

std::vector<ReportText> pageTexts(const ReportLayout &layout, const ReportData &data,
                                  const Pagination &pagination, int page, const QDate &date)
{
    std::vector<ReportText> out;
    if (page < 0 || page >= pagination.pageCount())
        return out;
    const QString longDate = QLocale().toString(date, QLocale::LongFormat);
    const QString pageNumber = QString::number(page + 1);
    const QString pageCount = QString::number(pagination.pageCount());

    // Column of each field control, looked up once per band.
    std::map<const ReportControl *, int> columns;
    for (const PlacedBand &placed : pagination.pages[size_t(page)].bands) {
        const ReportBand &band = layout.band(placed.kind);
        for (const ReportControl &c : band.controls) {
            ReportText t{QString(), QRect(c.left, placed.top + c.top, c.width, c.height), &c};
            switch (c.kind) {
            case ReportControl::Label:
                t.text = c.text;
                if (t.text.contains(QLatin1Char('%'))) {
                    t.text.replace(QStringLiteral("%D"), longDate);
                    t.text.replace(QStringLiteral("%p"), pageNumber);
                    t.text.replace(QStringLiteral("%P"), pageCount);
                }
                break;
            case ReportControl::Field: {
                auto it = columns.find(&c);
                if (it == columns.end())
                    it = columns.emplace(&c, data.fieldIndex(c.text)).first;
                const int row = placed.row;
                if (it->second >= 0 && row >= 0 && row < data.rowCount())
                    t.text = printable(valueText(data.rows[size_t(row)][size_t(it->second)]));
                break;
            }
            case ReportControl::RecordCount:
                t.text = QString::number(data.rowCount());
                break;
            }
            out.push_back(std::move(t));
        }
    }
    return out;
}

ReportDocument::ReportDocument(ReportLayout layout, ReportData data, const QDate &date)
    : m_layout(std::move(layout)), m_data(std::move(data)), m_date(date)
{
    for (const QString &name : m_layout.fieldNames()) {
        if (m_data.fieldIndex(name) < 0)
            throw DbError(3265, QStringLiteral("Data field '%1' not found.").arg(name));
    }
    m_pagination = paginate(m_layout, m_data.rowCount(), m_layout.pageHeight());
}

std::vector<ReportText> ReportDocument::texts(int page) const
{
    return pageTexts(m_layout, m_data, m_pagination, page, m_date);
}

QStringList ReportDocument::textsOf(int page) const
{
    QStringList out;
    for (const ReportText &t : texts(page))
        out << t.text;
    return out;
}

QPageLayout ReportDocument::pageLayout() const
{
    const double margin = m_layout.margin / 20.0;
    return QPageLayout(QPageSize(m_layout.pageSize),
                       m_layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(margin, margin, margin, margin), QPageLayout::Point);
}

void paintPage(QPainter &painter, const std::vector<ReportText> &texts)
{
    // Fonts are sized in twips, the painter's unit, so every device prints
    // them at the same physical size.
    using Key = std::tuple<QString, int, bool>;
    std::map<Key, std::pair<QFont, QFontMetricsF>> fonts;
    painter.setPen(Qt::black);
    for (const ReportText &t : texts) {
        if (t.text.isEmpty())
            continue;
        const ReportControl &c = *t.control;
        const Key key(c.family, qRound(c.pointSize * 20), c.bold);
        auto it = fonts.find(key);
        if (it == fonts.end()) {
            QFont font(c.family);
            font.setPixelSize(std::get<1>(key));
            font.setBold(c.bold);
            it = fonts.emplace(key, std::make_pair(font, QFontMetricsF(font))).first;
        }
        painter.setFont(it->second.first);
        const QString shown = it->second.second.elidedText(t.text, Qt::ElideRight, t.rect.width());
        const Qt::Alignment align = (c.alignRight ? Qt::AlignRight : Qt::AlignLeft)
                                    | Qt::AlignVCenter;
        painter.drawText(QRectF(t.rect), int(align | Qt::TextSingleLine), shown);
    }
}

void printReport(const ReportDocument &doc, QPagedPaintDevice &device)
{
    const int height = qRound(device.pageLayout().paintRect(QPageLayout::Point).height() * 20);
    const Pagination pagination = height == doc.pagination().pageHeight
                                      ? doc.pagination()
                                      : paginate(doc.layout(), doc.data().rowCount(), height);
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("The printer could not be started.");
    const double sx = device.logicalDpiX() / 1440.0;
    const double sy = device.logicalDpiY() / 1440.0;
    for (int page = 0; page < pagination.pageCount(); ++page) {
        if (page > 0)
            device.newPage();
        painter.save();
        painter.scale(sx, sy);
        paintPage(painter, pageTexts(doc.layout(), doc.data(), pagination, page, doc.date()));
        painter.restore();
    }
    painter.end();
}

void saveReportPdf(const ReportDocument &doc, const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()).toStdString());
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Medlantis"));
        writer.setTitle(doc.layout().caption);
        writer.setPageLayout(doc.pageLayout());
        printReport(doc, writer);
    }
    if (!file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()).toStdString());
}
