#include "patients/frmPatientList.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QResizeEvent>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QValidator>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "patients/frmAddNewPatient.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/MainFrame.h"
#include "shell/Prompter.h"
#include "shell/StatusBarPanes.h"
#include "shell/modMain.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"
#include "visits/frmPatientVisit.h"

namespace {

const QString kModule = QStringLiteral("frmPatientList");

// Shows whatever is typed in capitals; the search ignores case anyway.
class UpperCaseValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

QComboBox *comboBox(QWidget *parent, const char *name, const QStringList &items)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems(items);
    box->setMinimumWidth(120);
    return box;
}

QIcon toolIcon(QWidget *w, const char *themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(themeName), w->style()->standardIcon(fallback));
}

} // namespace

frmPatientList::frmPatientList(AppContext &context)
    : Form(context), m_model(new PatientListModel(this))
{
    setObjectName(QStringLiteral("frmPatientList"));
    setWindowTitle(QStringLiteral("Patient List"));

    const QStringList names{QStringLiteral("Last Name"), QStringLiteral("First Name")};
    cboSearch = comboBox(this, "cboSearch", names);
    txtSearch = newLineEdit(this, "txtSearch");
    txtSearch->setValidator(new UpperCaseValidator(txtSearch));
    cboSortBy = comboBox(this, "cboSortBy", names);
    cboSortType = comboBox(this, "cboSortType",
                           {QStringLiteral("Ascending"), QStringLiteral("Descending")});

    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const struct
    {
        const char *caption;
        const char *theme;
        QStyle::StandardPixmap fallback;
    } buttons[] = {
        {"Edit Patient", "document-edit", QStyle::SP_FileDialogDetailedView},
        {"Delete Patient", "edit-delete", QStyle::SP_TrashIcon},
        {"Print Patient List", "document-print", QStyle::SP_FileIcon},
        {"View Patient Visit", "x-office-calendar", QStyle::SP_FileDialogContentsView},
    };
    for (int i = 0; i < 4; ++i) {
        const QIcon icon = toolIcon(this, buttons[i].theme, buttons[i].fallback);
        QAction *action = Toolbar1->addAction(icon, QLatin1String(buttons[i].caption));
        connect(action, &QAction::triggered, this, [this, i] { Toolbar1_ButtonClick(i + 1); });
    }

    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setModel(m_model);
    m_model->setGuard([this](const std::function<void()> &read) {
        return trapped(ctx.prompter(), kModule, QStringLiteral("ListView1_Scroll"), 100, read);
    });
    const int widths[PatientListModel::ColumnCount] = {80, 140, 140, 120, 100, 80, 110};
    for (int c = 0; c < PatientListModel::ColumnCount; ++c)
        ListView1->header()->resizeSection(c, widths[c]);

    auto *search = new QGridLayout;
    const auto addField = [&](int row, int col, const char *caption, QWidget *field) {
        search->addWidget(newBuddyLabel(this, QLatin1String(caption), field), row, col);
        const Qt::Alignment align = field == txtSearch ? Qt::Alignment() : Qt::AlignLeft;
        search->addWidget(field, row, col + 1, align);
    };
    addField(0, 0, "Search Category:", cboSearch);
    addField(0, 2, "Search Text:", txtSearch);
    addField(1, 0, "Sort By:", cboSortBy);
    addField(1, 2, "Sort Type:", cboSortType);
    search->setColumnStretch(3, 1);

    // The list takes all the room the window gains; the rest stays put.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 4, 7, 7);
    layout->addWidget(Toolbar1);
    layout->addLayout(search);
    layout->addWidget(ListView1, 1);
    setTabChain({cboSearch, txtSearch, cboSortBy, cboSortType, ListView1});

    connect(txtSearch, &QLineEdit::textChanged, this, [this] { txtSearch_Change(); });
    connect(cboSortBy, &QComboBox::currentIndexChanged, this, [this] { txtSearch_Change(); });
    connect(cboSortType, &QComboBox::currentIndexChanged, this, [this] { txtSearch_Change(); });
    connect(ListView1, &QAbstractItemView::clicked, this, [this] { ListView1_Click(); });
    connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { ListView1_DblClick(); });
    // Moving through the lines with the keyboard counts as clicking them.
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_filling)
            ListView1_Click();
    });
}

QSize frmPatientList::sizeHint() const
{
    return QSize(860, 480);
}

QAction *frmPatientList::button(int index) const
{
    const QList<QAction *> actions = Toolbar1->actions();
    return (index >= 1 && index <= actions.size()) ? actions.at(index - 1) : nullptr;
}

void frmPatientList::Form_Load()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("Form_Load"));
    step([&] { setWindowIcon(QIcon(QStringLiteral(":/medlantis.png"))); });
    step([&] {
        // The frame of the main window's child area opens at the list's own size.
        if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget())) {
            const QSize room = frame->mdiArea() ? frame->mdiArea()->viewport()->size() : QSize();
            frame->resize(room.isValid() ? frame->sizeHint().boundedTo(room) : frame->sizeHint());
        }
    });
    step([&] {
        for (QComboBox *box : {cboSearch, cboSortBy, cboSortType}) {
            if (box->currentIndex() < 0)
                box->setCurrentIndex(0);
        }
    });
}

void frmPatientList::Form_Activate()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("Form_Activate"));
    step([&] { listPatients(); });
    step([&] {
        if (ctx.CurrentUser.Privilege != QLatin1String("Administrator")) {
            button(1)->setEnabled(false);
            button(2)->setEnabled(false);
        }
    });
}

void frmPatientList::listPatients()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("listPatients"));
    step([&] { m_model->clear(); });
    step([&] {
        m_shownSql = patientListSql();
        fillFrom(PatientListQuery());
    });
    step([&] { showCount(); });
}

void frmPatientList::txtSearch_Change()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("txtSearch_Change"));
    PatientListQuery query;
    step([&] {
        for (QComboBox *box : {cboSearch, cboSortBy, cboSortType}) {
            if (box->currentIndex() < 0)
                box->setCurrentIndex(0);
        }
    });
    step([&] {
        query.condition = patientSearchCondition(cboSearch->currentText(), txtSearch->text());
        query.searchColumn = RemoveSpaces(cboSearch->currentText());
        query.sortColumn = RemoveSpaces(cboSortBy->currentText());
        query.descending = cboSortType->currentIndex() == 1;
    });
    step([&] { m_model->clear(); });
    step([&] {
        m_shownSql = patientSearchSql(cboSearch->currentText(), txtSearch->text(),
                                      cboSortBy->currentText(), query.descending);
        fillFrom(query);
    });
    step([&] { showCount(); });
}

void frmPatientList::fillFrom(const PatientListQuery &query)
{
    m_filling = true;
    try {
        m_model->open(ctx.db(), query);
        if (m_model->rowCount() > 0)
            ListView1->setCurrentIndex(m_model->index(0, 0));
    } catch (...) {
        m_filling = false;
        throw;
    }
    m_filling = false;
}

void frmPatientList::showCount()
{
    if (m_model->rowCount() == 0)
        return;
    m_model->whenCountable([this] {
        trapped(ctx.prompter(), kModule, QStringLiteral("showCount"), 100,
                [&] { showRecordPosition(selectedRow() + 1, m_model->totalCount()); });
    });
}

void frmPatientList::showRecordPosition(int position, int count)
{
    ctx.mainFrame().setStatusText(
        0, QStringLiteral("Record ") + QString::number(position) + QStringLiteral(" of ")
               + QString::number(count));
}

int frmPatientList::selectedRow() const
{
    const QModelIndex current = ListView1->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void frmPatientList::ListView1_Click()
{
    const int row = selectedRow();
    if (m_model->rowCount() == 0 || row < 0)
        return;
    showRecordPosition(row + 1, m_model->totalCount());
    ctx.EditPatientID = m_model->text(row, PatientListModel::PatientID);
}

void frmPatientList::ListView1_DblClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    ctx.EditPatientID = m_model->text(row, PatientListModel::PatientID);
    trapped(ctx.prompter(), kModule, QStringLiteral("ListView1_DblClick"), 100,
            [&] { ctx.showModal(ctx.window<frmAddNewPatient>(), this); });
}

void frmPatientList::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 1:
        editPatient();
        break;
    case 2:
        deletePatient();
        break;
    case 3:
        printPatientList();
        break;
    case 4:
        viewPatientVisit();
        break;
    default:
        break;
    }
}

void frmPatientList::editPatient()
{
    const int row = selectedRow();
    if (m_model->rowCount() == 0 || row < 0)
        return;
    ctx.EditPatientID = m_model->text(row, PatientListModel::PatientID);
    trapped(ctx.prompter(), kModule, QStringLiteral("Toolbar1_ButtonClick"), 100,
            [&] { ctx.showModal(ctx.window<frmAddNewPatient>(), this); });
}

void frmPatientList::deletePatient()
{
    if (!requireAdministrator(ctx, QStringLiteral("delete a patient")))
        return;
    if (m_model->rowCount() == 0) {
        ctx.prompter().message(QStringLiteral("No record found."), QStringLiteral("No Records"),
                               MsgIcon::Information, MsgButtons::OK);
        return;
    }
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString id = m_model->text(row, PatientListModel::PatientID);
    const QString question = QStringLiteral("Are you sure you want to delete [")
                             + m_model->text(row, PatientListModel::FirstName)
                             + QLatin1Char(' ') + m_model->text(row, PatientListModel::LastName)
                             + QStringLiteral("] from the Patient List?");
    if (ctx.prompter().message(question, QStringLiteral("Confirm Record Deletion"),
                               MsgIcon::Warning, MsgButtons::YesNo)
        != MsgAnswer::Yes)
        return;
    // A delete that fails must not be followed by the word that it worked.
    Steps step(ctx.prompter(), kModule, QStringLiteral("Toolbar1_ButtonClick"));
    step([&] {
        Audit::recordDelete(
            ctx.db(), QStringLiteral("PatientRecords"), QStringLiteral("PatientID"), id, id,
            QStringLiteral("delete from PatientRecords where patientid=") + sqlId(id));
    });
    if (step.failed())
        return;
    step([&] {
        ctx.prompter().message(QStringLiteral("Patient record deleted successfully."),
                               QStringLiteral("Record Deleted"), MsgIcon::Information,
                               MsgButtons::OK);
    });
    step([&] { listPatients(); });
}

void frmPatientList::printPatientList()
{
    Recordset &rs = ctx.PatientListRecordset;
    // The ribbon's print and export reopen the shared result on their own
    // statements; this button prints what the list shows.
    if (!m_shownSql.isEmpty() && (!rs.State() || rs.Source() != m_shownSql)) {
        const auto reopen = [&] {
            if (rs.State())
                rs.Close();
            rs.Open(m_shownSql, ctx.db(), adOpenStatic, adLockReadOnly);
        };
        if (!trapped(ctx.prompter(), kModule, QStringLiteral("Toolbar1_ButtonClick"), 100, reopen))
            return;
    }
    if (rs.RecordCount() == 0) {
        ctx.prompter().message(QStringLiteral("No record found."), QStringLiteral("No Records"),
                               MsgIcon::Information, MsgButtons::OK);
        return;
    }
    trapped(ctx.prompter(), kModule, QStringLiteral("Toolbar1_ButtonClick"), 100,
            [&] { showReport(ctx, DRPatientList(), rs, this); });
}

void frmPatientList::viewPatientVisit()
{
    const int row = selectedRow();
    if (m_model->rowCount() == 0 || row < 0)
        return;
    ctx.SelectedPatientID = m_model->text(row, PatientListModel::PatientID);
    trapped(ctx.prompter(), kModule, QStringLiteral("Toolbar1_ButtonClick"), 102,
            [&] { ctx.showModal(ctx.window<frmPatientVisit>(), this); });
}

void frmPatientList::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    if (isMinimized() || (parentWidget() && parentWidget()->isMinimized()))
        return;
    const int row = selectedRow();
    if (row >= 0)
        showRecordPosition(row + 1, m_model->totalCount());
}
