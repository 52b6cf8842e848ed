#pragma once

#include <vector>

#include <QScrollArea>

#include "reports/ReportEngine.h"

// Shows one page of a report at a zoom; only that page is laid out and
// painted, so a report of thousands of pages opens at once.
class ReportPageView : public QScrollArea
{
    Q_OBJECT
public:
    enum Zoom { FitWidth = -1, WholePage = -2 };

    ReportPageView(const ReportDocument &doc, QWidget *parent = nullptr);

    void setPage(int page);
    int page() const { return m_page; }
    // A percentage, or FitWidth / WholePage.
    void setZoom(int zoom);
    int zoom() const { return m_zoom; }
    // Screen pixels per twip at the current zoom.
    double scale() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintCanvas(QWidget *canvas);
    void updateCanvasSize();

    const ReportDocument &m_doc;
    QWidget *m_canvas;
    int m_page = 0;
    int m_zoom = FitWidth;
    std::vector<ReportText> m_texts;
};
