#pragma once

#include <QStringList>

#include "reports/ReportEngine.h"
#include "shell/Form.h"

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QSpinBox;
class Recordset;
class ReportPageView;

// The preview of a printed report: pages one at a time, paging, zoom,
// printing and saving as PDF. Each report gets its own window, which is
// destroyed when it closes.
class ReportPreview : public Form
{
    Q_OBJECT
public:
    ReportPreview(AppContext &ctx, ReportDocument doc, QWidget *parent = nullptr);

    const ReportDocument &document() const { return m_doc; }
    int pageCount() const { return m_doc.pageCount(); }
    int currentPage() const; // 0-based
    QStringList pageTexts(int page) const { return m_doc.textsOf(page); }
    void showPage(int page);

    QPushButton *cmdFirst;
    QPushButton *cmdPrevious;
    QSpinBox *txtPage;
    QLabel *lblPageCount;
    QPushButton *cmdNext;
    QPushButton *cmdLast;
    QComboBox *cboZoom;
    QPushButton *cmdPrint;
    QPushButton *cmdExport;
    QPushButton *cmdClose;
    ReportPageView *pageView;

    void cmdPrint_Click();
    void cmdExport_Click();
    // Prints every page on a printer that is already set up.
    void printTo(QPrinter &printer);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    ReportDocument m_doc;
};

// Shows a report over owner: modally when the layout says so, otherwise as
// a window of its own. Throws DbError when the rows lack a printed field.
void showReport(AppContext &ctx, const ReportLayout &layout, Recordset &rs, QWidget *owner);
void showReport(AppContext &ctx, const ReportLayout &layout, const ReportData &data,
                QWidget *owner);

// The preview shown last, while it is open.
ReportPreview *lastReportPreview();
