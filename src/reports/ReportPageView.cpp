#include "reports/ReportPageView.h"

#include <algorithm>

#include <QEvent>
#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kBorder = 12; // grey around the page, in pixels
}

ReportPageView::ReportPageView(const ReportDocument &doc, QWidget *parent)
    : QScrollArea(parent), m_doc(doc), m_canvas(new QWidget)
{
    setObjectName(QStringLiteral("pageView"));
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_canvas->installEventFilter(this);
    viewport()->installEventFilter(this);
    setWidget(m_canvas);
    setPage(0);
}

void ReportPageView::setPage(int page)
{
    m_page = std::clamp(page, 0, std::max(0, m_doc.pageCount() - 1));
    m_texts = m_doc.texts(m_page);
    verticalScrollBar()->setValue(0);
    m_canvas->update();
}

void ReportPageView::setZoom(int zoom)
{
    m_zoom = zoom;
    updateCanvasSize();
}

double ReportPageView::scale() const
{
    const QSizeF page = m_doc.pageLayout().fullRect(QPageLayout::Point).size() * 20;
    const double fitWidth = (viewport()->width() - 2 * kBorder) / page.width();
    switch (m_zoom) {
    case FitWidth:
        return std::max(0.01, fitWidth);
    case WholePage:
        return std::max(0.01, std::min(fitWidth,
                                       (viewport()->height() - 2 * kBorder) / page.height()));
    default:
        return logicalDpiX() / 1440.0 * m_zoom / 100.0;
    }
}

void ReportPageView::updateCanvasSize()
{
    const QSizeF page = m_doc.pageLayout().fullRect(QPageLayout::Point).size() * 20 * scale();
    m_canvas->setFixedSize(page.toSize() + QSize(2 * kBorder, 2 * kBorder));
    m_canvas->update();
}

bool ReportPageView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == viewport() && event->type() == QEvent::Resize && m_zoom < 0)
        updateCanvasSize();
    if (watched == m_canvas && event->type() == QEvent::Paint) {
        paintCanvas(m_canvas);
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void ReportPageView::paintCanvas(QWidget *canvas)
{
    QPainter p(canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRect page = canvas->rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    p.fillRect(page.translated(3, 3), QColor(0, 0, 0, 80));
    p.fillRect(page, Qt::white);
    const double s = scale();
    p.translate(page.topLeft());
    p.scale(s, s);
    const QMarginsF margins = m_doc.pageLayout().margins(QPageLayout::Point) * 20;
    p.translate(margins.left(), margins.top());
    paintPage(p, m_texts);
}
