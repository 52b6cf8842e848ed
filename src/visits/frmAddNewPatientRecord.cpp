#include "visits/frmAddNewPatientRecord.h"

#include <algorithm>
#include <iterator>

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "patients/frmMedicalHistory.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/TextArea.h"
#include "shell/WidgetUtils.h"
#include "visits/PatientHeader.h"
#include "visits/PatientInfoFrame.h"
#include "visits/VisitPrint.h"
#include "visits/VisitRecord.h"
#include "visits/frmPatientHistory.h"

namespace {

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

frmAddNewPatientRecord::frmAddNewPatientRecord(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmAddNewPatientRecord"));
    setWindowTitle(QStringLiteral("New Patient Visit"));
    resize(900, 640);

    makePatientFrame(this);

    auto *medical = new QGroupBox(QStringLiteral("Medical Information"), this);
    dtpVisitDate = new QDateEdit(medical);
    dtpVisitDate->setObjectName(QStringLiteral("dtpVisitDate"));
    dtpVisitDate->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    dtpVisitDate->setCalendarPopup(true);
    dtpVisitDate->setDate(QDate::currentDate());
    txtChiefComplaint = newLineEdit(medical, "txtChiefComplaint");
    txtPhysician = newLineEdit(medical, "txtPhysician");
    txtNurse = newLineEdit(medical, "txtNurse");
    auto *medicalGrid = new QGridLayout(medical);
    medicalGrid->addWidget(newBuddyLabel(medical, QStringLiteral("Visit Date:"), dtpVisitDate),
                           0, 0);
    medicalGrid->addWidget(dtpVisitDate, 0, 1, Qt::AlignLeft);
    medicalGrid->addWidget(
        newBuddyLabel(medical, QStringLiteral("Chief Complaint:"), txtChiefComplaint), 1, 0);
    medicalGrid->addWidget(txtChiefComplaint, 1, 1, 1, 3);
    medicalGrid->addWidget(newBuddyLabel(medical, QStringLiteral("Physician:"), txtPhysician),
                           2, 0);
    medicalGrid->addWidget(txtPhysician, 2, 1);
    medicalGrid->addWidget(newBuddyLabel(medical, QStringLiteral("Nurse:"), txtNurse), 2, 2);
    medicalGrid->addWidget(txtNurse, 2, 3);
    medicalGrid->setColumnStretch(1, 1);
    medicalGrid->setColumnStretch(3, 1);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    buildTabs();

    cmdMedicalHistory = newButton(this, "cmdMedicalHistory", QStringLiteral("Medical History"));
    Command1 = newButton(this, "Command1", QStringLiteral("Export to PDF"));
    cmdSave = newButton(this, "cmdSave", QStringLiteral("Save"));
    cmdSave->setDefault(true);
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));
    auto *buttons = buttonRow({cmdMedicalHistory, Command1}, {cmdSave, cmdCancel});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraPatient);
    layout->addWidget(medical);
    layout->addWidget(SSTab1, 1);
    layout->addLayout(buttons);

    // Keyboard order: the visit header, the tabs with their fields, the buttons.
    QList<QWidget *> order = {dtpVisitDate, txtChiefComplaint, txtPhysician, txtNurse, SSTab1};
    for (int tab = 0; tab < SSTab1->count(); ++tab) {
        for (QWidget *w : SSTab1->widget(tab)->findChildren<QWidget *>()) {
            if (qobject_cast<QLineEdit *>(w) || qobject_cast<TextArea *>(w)
                || qobject_cast<QCheckBox *>(w))
                order << w;
        }
    }
    order << cmdMedicalHistory << Command1 << cmdSave << cmdCancel;
    setTabChain(order);

    for (const VisitColumn &c : visitTextColumns())
        m_visitFields.push_back(findChild<QWidget *>(QLatin1String(c.field)));

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int tab) { SSTab1_Click(tab); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdMedicalHistory, &QPushButton::clicked, this,
            [this] { cmdMedicalHistory_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void frmAddNewPatientRecord::buildTabs()
{
    // Fields are created in keyboard order; the constructor chains them so.
    // A row holds a one-line box (line) or a box for paragraphs (area).
    struct TextRow
    {
        const char *caption;
        const char *name;
        QLineEdit **line;
        TextArea **area;
    };
    const auto makeBox = [](QWidget *page, const TextRow &r) -> QWidget * {
        if (r.line)
            return *r.line = newLineEdit(page, r.name);
        *r.area = new TextArea(page);
        (*r.area)->setObjectName(QLatin1String(r.name));
        return *r.area;
    };
    // Label and field pairs, top to bottom, in as many columns as given.
    auto textPage = [&](const QString &caption, const std::vector<std::vector<TextRow>> &columns) {
        auto *page = new QWidget;
        SSTab1->addTab(page, caption);
        auto *grid = new QGridLayout(page);
        int rows = 0;
        bool stretches = false;
        for (size_t c = 0; c < columns.size(); ++c) {
            int row = 0;
            for (const TextRow &r : columns[c]) {
                QWidget *box = makeBox(page, r);
                grid->addWidget(newBuddyLabel(page, QLatin1String(r.caption), box), row,
                                int(2 * c), r.area ? Qt::AlignTop : Qt::Alignment());
                grid->addWidget(box, row, int(2 * c + 1));
                if (r.area) {
                    grid->setRowStretch(row, 1);
                    stretches = true;
                }
                ++row;
            }
            rows = std::max(rows, row);
        }
        if (!stretches)
            grid->setRowStretch(rows, 1);
    };
    struct CheckRow
    {
        const char *caption;
        const char *check;
        const char *text;
        QCheckBox **checkBox;
        TextArea **textBox;
    };
    // Ten rows of findings do not fit the window: the page scrolls.
    auto checkPage = [this](const QString &caption, const QString &no, const QString &yes,
                            const std::vector<CheckRow> &rows) {
        auto *scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus);
        SSTab1->addTab(scroll, caption);
        auto *page = new QWidget;
        scroll->setWidget(page);
        auto *grid = new QGridLayout(page);
        grid->setVerticalSpacing(2);
        grid->addWidget(heading(no, page), 0, 1);
        grid->addWidget(heading(yes, page), 0, 2);
        int row = 1;
        for (const CheckRow &r : rows) {
            *r.checkBox = newCheckBox(page, r.check);
            *r.textBox = new TextArea(page, 2);
            (*r.textBox)->setObjectName(QLatin1String(r.text));
            grid->addWidget(newBuddyLabel(page, QLatin1String(r.caption), *r.textBox), row, 0,
                            Qt::AlignTop);
            grid->addWidget(*r.checkBox, row, 1, Qt::AlignHCenter | Qt::AlignTop);
            grid->addWidget(*r.textBox, row, 2);
            ++row;
        }
        grid->setColumnStretch(2, 1);
    };
    textPage(QStringLiteral("History Of  Present &Illness"),
             {{{"Location:", "txtLocation", &txtLocation, nullptr},
               {"Quality:", "txtQuality", &txtQuality, nullptr},
               {"Severity:", "txtSeverity", &txtSeverity, nullptr},
               {"Duration:", "txtDuration", &txtDuration, nullptr},
               {"Timing:", "txtTiming", &txtTiming, nullptr},
               {"Context:", "txtContext", &txtContext, nullptr},
               {"Modifying Factors:", "txtModifyingFactors", &txtModifyingFactors, nullptr},
               {"Associated Signs && Symptoms:", "txtSignsSymptoms", &txtSignsSymptoms, nullptr},
               {"History:", "txtHPI", nullptr, &txtHPI}}});
    checkPage(QStringLiteral("&Review Of &Symptoms"), QStringLiteral("No"), QStringLiteral("Yes"),
              {
                  {"General:", "chkGeneral", "txtGeneral", &chkGeneral, &txtGeneral},
                  {"Skin/Breast:", "chkSkinBreast", "txtSkinBreast", &chkSkinBreast,
                   &txtSkinBreast},
                  {"Eyes/Ears/Nose/Mouth/Throat:", "chkEENT", "txtEENT", &chkEENT, &txtEENT},
                  {"Cardiovascular:", "chkCardioVascular", "txtCardioVascular",
                   &chkCardioVascular, &txtCardioVascular},
                  {"Respiratory:", "chkRespiratory", "txtRespiratory", &chkRespiratory,
                   &txtRespiratory},
                  {"Gastrointestinal:", "chkGastroIntestinal", "txtGastroIntestinal",
                   &chkGastroIntestinal, &txtGastroIntestinal},
                  {"Genitourinary:", "chkGenitoUrinary", "txtGenitourinary", &chkGenitoUrinary,
                   &txtGenitourinary},
                  {"Musculoskeletal:", "chkMusculoskeletal", "txtMusculoskeletal",
                   &chkMusculoskeletal, &txtMusculoskeletal},
                  {"Neurologic/Psychiatric:", "chkNeurologic", "txtNeurologic", &chkNeurologic,
                   &txtNeurologic},
                  {"Allergy/Immunologic/Lymphatic/Endocrine:", "chkAllergy", "txtAllergy",
                   &chkAllergy, &txtAllergy},
              });
    textPage(QStringLiteral("&Vital Signs"),
             {{{"Blood Pressure:", "txtBloodPressure", &txtBloodPressure, nullptr},
               {"Heart Rate:", "txtHeartRate", &txtHeartRate, nullptr},
               {"Respiratory Rate:", "txtRespiratoryRate", &txtRespiratoryRate, nullptr}},
              {{"Temperature:", "txtTemperature", &txtTemperature, nullptr},
               {"Height:", "txtHeight", &txtHeight, nullptr},
               {"Weight:", "txtWeight", &txtWeight, nullptr}}});
    checkPage(QStringLiteral("Physical &Examination"), QStringLiteral("Normal"),
              QStringLiteral("Abnormal (describe)"),
              {
                  {"General:", "chkGeneralPE", "txtGeneralPE", &chkGeneralPE, &txtGeneralPE},
                  {"Skin/Breast:", "chkSkinBreastPE", "txtSkinBreastPE", &chkSkinBreastPE,
                   &txtSkinBreastPE},
                  {"Eyes/Ears/Nose/Mouth/Throat:", "chkEENMTPE", "txtEENMTPE", &chkEENMTPE,
                   &txtEENMTPE},
                  {"Respiratory:", "chkRespiratoryPE", "txtRespiratoryPE", &chkRespiratoryPE,
                   &txtRespiratoryPE},
                  {"Cardiovascular:", "chkCardiovascularPE", "txtCardiovascularPE",
                   &chkCardiovascularPE, &txtCardiovascularPE},
                  {"Gastrointestinal:", "chkGastrointestinalPE", "txtGastrointestinalPE",
                   &chkGastrointestinalPE, &txtGastrointestinalPE},
                  {"Genitourinary:", "chkGenitourinaryPE", "txtGenitourinaryPE",
                   &chkGenitourinaryPE, &txtGenitourinaryPE},
                  {"Musculoskeletal:", "chkMusculoskeletalPE", "txtMusculoskeletalPE",
                   &chkMusculoskeletalPE, &txtMusculoskeletalPE},
                  {"Neurologic:", "chkNeurologicPE", "txtNeurologicPE", &chkNeurologicPE,
                   &txtNeurologicPE},
              });
    textPage(QStringLiteral("&Assessment"),
             {{{"Diagnosis:", "txtDiagnosis", nullptr, &txtDiagnosis},
               {"Body Region:", "txtBodyRegion", nullptr, &txtBodyRegion},
               {"Organ System:", "txtOrganSystem", nullptr, &txtOrganSystem}}});
    textPage(QStringLiteral("&Plan"),
             {{{"Diagnostics:", "txtDiagnostics", nullptr, &txtDiagnostics},
               {"Therapeutics:", "txtTherapeutics", nullptr, &txtTherapeutics},
               {"Other Recommendations:", "txtOtherRecommendations", nullptr,
                &txtOtherRecommendations},
               {"Emergency Response:", "txtEmergencyResponse", nullptr, &txtEmergencyResponse},
               {" Work Related:", "txtWorkRelated", nullptr, &txtWorkRelated}}});
}

void frmAddNewPatientRecord::Form_Load()
{
    m_keepFieldsOnActivate = false;
    applyHandCursor(this, ctx.folders().program);
}

void frmAddNewPatientRecord::Form_Activate()
{
    if (m_keepFieldsOnActivate) {
        m_keepFieldsOnActivate = false;
        return;
    }
    Steps step(ctx.prompter(), QStringLiteral("frmAddNewPatientRecord"),
               QStringLiteral("Form_Activate"));
    step([&] { ResetControls(this); });
    m_newVisit = ctx.SelectedHistoryID.isEmpty();
    m_currentHistoryID = 0;
    m_patientID.clear();
    m_guard.clear();
    // The patient is fixed now: a new visit's is the one chosen for it, an
    // existing visit's the one its row names, whatever other windows do later.
    Recordset visit;
    if (m_newVisit) {
        m_patientID = ctx.SelectedPatientID;
    } else {
        step([&] {
            bool ok = false;
            m_currentHistoryID = ctx.SelectedHistoryID.toInt(&ok);
            if (!ok)
                throw DbError(13, QStringLiteral("Type mismatch"));
        });
        step([&] {
            visit.Open(QStringLiteral("Select * from MedicalHistory where HistoryID=")
                           + QString::number(m_currentHistoryID),
                       ctx.db(), adOpenStatic, adLockReadOnly);
            if (visit.isEOF()) {
                ctx.prompter().message(QStringLiteral("Patient visit record not found."),
                                       QStringLiteral("Record Not Found"), MsgIcon::Warning,
                                       MsgButtons::OK);
                close();
                step.stop();
                return;
            }
            m_patientID = visit.Text(QStringLiteral("PatientID"));
            QStringList columns{QStringLiteral("VisitDate")};
            for (const VisitColumn &c : visitTextColumns())
                columns << QLatin1String(c.column);
            m_guard.load(visit, QStringLiteral("MedicalHistory"), QStringLiteral("HistoryID"),
                         QString::number(m_currentHistoryID), columns);
            Audit::view(ctx.db(), QStringLiteral("MedicalHistory"), m_currentHistoryID,
                        m_patientID);
        });
    }
    step([&] {
        Recordset rs;
        if (m_patientID.isEmpty() || !openPatient(rs, ctx.db(), m_patientID)) {
            tellPatientNotFound(ctx.prompter());
            close();
            step.stop();
            return;
        }
        fraPatient->fill(patientHeader(rs));
    });
    if (m_newVisit) {
        step([&] { dtpVisitDate->setDate(QDate::currentDate()); });
        step([&] { m_currentHistoryID = nextHistoryID(ctx.db()); });
    } else {
        step([&] {
            const QDate visitDate = dateFromText(visit.Text(QStringLiteral("VisitDate")));
            if (visitDate.isValid())
                dtpVisitDate->setDate(visitDate);
            const auto &columns = visitTextColumns();
            for (size_t i = 0; i < columns.size(); ++i)
                setBoxText(m_visitFields[i], visit.Text(QLatin1String(columns[i].column)));
        });
    }
    m_keepFieldsOnActivate = false;
}

void frmAddNewPatientRecord::SSTab1_Click(int tab)
{
    QWidget *const first[] = {txtLocation,  txtGeneral,   txtBloodPressure,
                              txtGeneralPE, txtDiagnosis, txtDiagnostics};
    if (tab >= 0 && tab < int(std::size(first)))
        first[tab]->setFocus();
}

void frmAddNewPatientRecord::cmdSave_Click()
{
    Prompter &prompter = ctx.prompter();
    if (txtChiefComplaint->text().trimmed().isEmpty()) {
        prompter.message(QStringLiteral("You forgot to input chief compliant."),
                         applicationTitle(), MsgIcon::Warning, MsgButtons::OK);
        txtChiefComplaint->setFocus();
        return;
    }
    Steps step(prompter, QStringLiteral("frmAddNewPatientRecord"),
               QStringLiteral("cmdSave_Click"));
    std::optional<qint32> savedAs;
    bool written = false;
    step([&] {
        QStringList texts;
        for (QWidget *field : m_visitFields)
            texts << boxText(field);
        written = saveGuarded(ctx.db(), prompter, m_guard, [&] {
                      savedAs = saveVisit(ctx.db(), m_currentHistoryID, m_newVisit, m_patientID,
                                          storageDate(dtpVisitDate->date()), texts);
                  })
                  == GuardedSave::Saved;
    });
    // A failed or refused save keeps the window and everything typed in it.
    if (!written)
        return;
    if (!savedAs) {
        tellPatientNotFound(prompter);
        close();
        return;
    }
    m_currentHistoryID = *savedAs;
    step([&] {
        prompter.message(QStringLiteral("Record Successfully Saved."),
                         QStringLiteral("Record Saved"), MsgIcon::Information, MsgButtons::OK);
    });
    step([&] { ctx.window<frmPatientHistory>().loadPatientVisits(); });
    step([&] { close(); });
}

void frmAddNewPatientRecord::cmdMedicalHistory_Click()
{
    m_keepFieldsOnActivate = true;
    // The history of this visit's own patient, whatever was chosen elsewhere since.
    ctx.SelectedPatientID = m_patientID;
    showModal(ctx.window<frmMedicalHistory>());
}

void frmAddNewPatientRecord::Command1_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmAddNewPatientRecord"),
               QStringLiteral("Command1_Click"));
    Recordset rs;
    step([&] {
        rs.Open(QStringLiteral("select a.PatientID,Firstname+' '+Lastname as PatientName,"
                               "VisitDate,ChiefComplaint,Physician,Nurse from PatientRecords a "
                               "inner join MedicalHistory b on a.PatientID=b.PatientID where "
                               "b.[HistoryID]=")
                    + QString::number(m_currentHistoryID) + QStringLiteral(" order by VisitDate"),
                ctx.db(), adOpenStatic, adLockReadOnly);
    });
    if (step.failed())
        return;
    step([&] {
        if (rs.isEOF())
            tellNoRecordFound(ctx.prompter());
        else
            SaveRecordsetToPDF(rs, QString(), ctx);
    });
}
