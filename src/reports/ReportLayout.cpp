#include "reports/ReportLayout.h"

#include <stdexcept>

#include <QLocale>
#include <QSizeF>

QStringList ReportLayout::fieldNames() const
{
    QStringList names;
    for (const ReportBand &b : m_bands) {
        for (const ReportControl &c : b.controls) {
            if (c.kind == ReportControl::Field && !names.contains(c.text, Qt::CaseInsensitive))
                names << c.text;
        }
    }
    return names;
}

void ReportLayout::setCaption(const QString &controlName, const QString &caption)
{
    for (ReportBand &b : m_bands) {
        for (ReportControl &c : b.controls) {
            if (c.kind == ReportControl::Label && c.name == controlName) {
                c.text = caption;
                return;
            }
        }
    }
    throw std::invalid_argument(
        QStringLiteral("The report %1 has no label %2.").arg(name, controlName).toStdString());
}

const ReportControl *ReportLayout::control(const QString &controlName) const
{
    for (const ReportBand &b : m_bands) {
        for (const ReportControl &c : b.controls) {
            if (c.name == controlName)
                return &c;
        }
    }
    return nullptr;
}

namespace {
QSizeF pageTwips(QPageSize::PageSizeId id, bool landscape)
{
    const QSizeF points = QPageSize(id).size(QPageSize::Point);
    const QSizeF twips(points.width() * 20, points.height() * 20);
    return landscape ? twips.transposed() : twips;
}
} // namespace

int ReportLayout::pageWidth() const
{
    return int(pageTwips(pageSize, landscape).width()) - 2 * margin;
}

int ReportLayout::pageHeight() const
{
    return int(pageTwips(pageSize, landscape).height()) - 2 * margin;
}

QPageSize::PageSizeId ReportLayout::defaultPageSize()
{
    return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                       : QPageSize::A4;
}
