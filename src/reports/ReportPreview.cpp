#include "reports/ReportPreview.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Recordset.h"
#include "reports/ReportPageView.h"
#include "reports/WaitCursor.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"

namespace {

QPointer<ReportPreview> s_last;

} // namespace

ReportPreview::ReportPreview(AppContext &context, ReportDocument doc, QWidget *parent)
    : Form(context, parent), m_doc(std::move(doc))
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(m_doc.layout().caption);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);

    cmdFirst = newButton(this, "cmdFirst", QStringLiteral("|<"));
    cmdFirst->setToolTip(QStringLiteral("First page"));
    cmdPrevious = newButton(this, "cmdPrevious", QStringLiteral("<"));
    cmdPrevious->setToolTip(QStringLiteral("Previous page (Page Up)"));
    txtPage = new QSpinBox(this);
    txtPage->setObjectName(QStringLiteral("txtPage"));
    txtPage->setRange(1, std::max(1, m_doc.pageCount()));
    txtPage->setAccelerated(true);
    lblPageCount = new QLabel(QStringLiteral("of %1").arg(m_doc.pageCount()), this);
    lblPageCount->setObjectName(QStringLiteral("lblPageCount"));
    cmdNext = newButton(this, "cmdNext", QStringLiteral(">"));
    cmdNext->setToolTip(QStringLiteral("Next page (Page Down)"));
    cmdLast = newButton(this, "cmdLast", QStringLiteral(">|"));
    cmdLast->setToolTip(QStringLiteral("Last page"));
    for (QPushButton *b : {cmdFirst, cmdPrevious, cmdNext, cmdLast})
        b->setFixedWidth(36);
    cboZoom = new QComboBox(this);
    cboZoom->setObjectName(QStringLiteral("cboZoom"));
    cboZoom->addItem(QStringLiteral("Fit Width"), int(ReportPageView::FitWidth));
    cboZoom->addItem(QStringLiteral("Whole Page"), int(ReportPageView::WholePage));
    for (int percent : {50, 75, 100, 150, 200})
        cboZoom->addItem(QStringLiteral("%1%").arg(percent), percent);
    cmdPrint = newButton(this, "cmdPrint", QStringLiteral("&Print..."));
    cmdExport = newButton(this, "cmdExport", QStringLiteral("&Save PDF..."));
    cmdClose = newButton(this, "cmdClose", QStringLiteral("Close"));
    pageView = new ReportPageView(m_doc, this);

    auto *bar = new QHBoxLayout;
    bar->addWidget(cmdFirst);
    bar->addWidget(cmdPrevious);
    bar->addWidget(txtPage);
    bar->addWidget(lblPageCount);
    bar->addWidget(cmdNext);
    bar->addWidget(cmdLast);
    bar->addSpacing(16);
    bar->addWidget(cboZoom);
    bar->addStretch();
    bar->addWidget(cmdPrint);
    bar->addWidget(cmdExport);
    bar->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(pageView, 1);
    setTabChain({cmdFirst, cmdPrevious, txtPage, cmdNext, cmdLast, cboZoom, cmdPrint, cmdExport,
                 cmdClose, pageView});

    connect(cmdFirst, &QPushButton::clicked, this, [this] { showPage(0); });
    connect(cmdPrevious, &QPushButton::clicked, this, [this] { showPage(currentPage() - 1); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { showPage(currentPage() + 1); });
    connect(cmdLast, &QPushButton::clicked, this, [this] { showPage(pageCount() - 1); });
    connect(txtPage, &QSpinBox::valueChanged, this, [this](int value) { showPage(value - 1); });
    connect(cboZoom, &QComboBox::currentIndexChanged, this,
            [this] { pageView->setZoom(cboZoom->currentData().toInt()); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdExport, &QPushButton::clicked, this, [this] { cmdExport_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });

    applyHandCursor(this, ctx.folders().program);
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1280, 1024);
    resize(std::min(1100, screen.width() * 9 / 10), std::min(850, screen.height() * 9 / 10));
    showPage(0);
}

int ReportPreview::currentPage() const
{
    return pageView->page();
}

void ReportPreview::showPage(int page)
{
    pageView->setPage(page);
    const QSignalBlocker block(txtPage);
    txtPage->setValue(pageView->page() + 1);
    cmdFirst->setEnabled(pageView->page() > 0);
    cmdPrevious->setEnabled(pageView->page() > 0);
    cmdNext->setEnabled(pageView->page() + 1 < pageCount());
    cmdLast->setEnabled(pageView->page() + 1 < pageCount());
}

void ReportPreview::printTo(QPrinter &printer)
{
    printReport(m_doc, printer);
}

void ReportPreview::cmdPrint_Click()
{
    trapped(ctx.prompter(), m_doc.layout().name, QStringLiteral("cmdPrint_Click"), 100, [&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(m_doc.pageLayout());
        printer.setDocName(m_doc.layout().caption);
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(QStringLiteral("Print %1").arg(m_doc.layout().caption));
        if (dialog.exec() == QDialog::Accepted) {
            const WaitCursor wait;
            printTo(printer);
        }
    });
}

void ReportPreview::cmdExport_Click()
{
    trapped(ctx.prompter(), m_doc.layout().name, QStringLiteral("cmdExport_Click"), 100, [&] {
        const QString file = ctx.prompter().saveFile(QStringLiteral("Save PDF"),
                                                     QStringLiteral("PDF Files (*.pdf)|*.pdf"));
        if (!file.isEmpty()) {
            const WaitCursor wait;
            saveReportPdf(m_doc, file);
        }
    });
}

void ReportPreview::closeEvent(QCloseEvent *event)
{
    // A preview is not kept for later: every report opens a new one.
    event->accept();
    if (!m_doc.layout().modal)
        deleteLater(); // the modal ones are deleted by showReport
}

void ReportPreview::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_PageDown:
        showPage(currentPage() + 1);
        return;
    case Qt::Key_PageUp:
        showPage(currentPage() - 1);
        return;
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier) {
            showPage(0);
            return;
        }
        break;
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier) {
            showPage(pageCount() - 1);
            return;
        }
        break;
    default:
        break;
    }
    Form::keyPressEvent(event);
}

namespace {

// The patient every row belongs to, when they all belong to one.
QVariant onlyPatient(const ReportData &data)
{
    const int field = data.fieldIndex(QStringLiteral("PatientID"));
    QVariant patient;
    for (const auto &row : data.rows) {
        if (field < 0 || row[size_t(field)].isNull())
            return QVariant();
        if (!patient.isNull() && row[size_t(field)].toString() != patient.toString())
            return QVariant();
        patient = row[size_t(field)];
    }
    return patient;
}

Audit::Entry printEntry(const ReportLayout &layout, const ReportData &data)
{
    return {QStringLiteral("Print"), layout.caption, QVariant(), onlyPatient(data),
            QStringLiteral("Rows: %1\nFields: %2")
                .arg(data.rowCount())
                .arg(data.fields.join(QStringLiteral(", ")))};
}

} // namespace

void showReport(AppContext &ctx, const ReportLayout &layout, Recordset &rs, QWidget *owner)
{
    showReport(ctx, layout, ReportData::fromRecordset(rs, layout.fieldNames()), owner);
}

void showReport(AppContext &ctx, const ReportLayout &layout, const ReportData &data,
                QWidget *owner)
{
    // Nothing is shown for printing without its trail row.
    Audit::add(ctx.db(), printEntry(layout, data));
    ReportDocument doc(layout, data);
    if (layout.modal) {
        auto *preview = new ReportPreview(ctx, std::move(doc));
        s_last = preview;
        ctx.showModal(*preview, owner);
        preview->deleteLater();
        return;
    }
    auto *preview = new ReportPreview(ctx, std::move(doc), owner ? owner->window() : nullptr);
    s_last = preview;
    preview->show();
    preview->raise();
    preview->activateWindow();
}

ReportPreview *lastReportPreview()
{
    return s_last.data();
}
