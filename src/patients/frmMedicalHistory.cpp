#include "patients/frmMedicalHistory.h"

#include <iterator>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
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

namespace {

// The history columns of PatientRecords, in the order the boxes are kept.
const char *const historyColumns[] = {
    "Illness", "Hospitalization", "Medications", "Allergies", "FamilyHistory", "TobaccoUse",
    "AlcoholUse", "IllicitDrugUse", "SexualHistory", "OBScore", "OBMenarche", "OCPUse",
    "PadsDay", "NoDays", "Regularity", "DysmenorrheaNoted"};

// Histories are written as sentences and lists: every box takes several lines.
TextArea *historyBox(QWidget *parent, const char *name, int lines = 2)
{
    auto *box = new TextArea(parent, lines);
    box->setObjectName(QLatin1String(name));
    return box;
}

void addRow(QGridLayout *grid, int row, int column, const QString &caption, QWidget *box)
{
    grid->addWidget(newBuddyLabel(box->parentWidget(), caption, box), row, column, Qt::AlignTop);
    grid->addWidget(box, row, column + 1);
}

} // namespace

frmMedicalHistory::frmMedicalHistory(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmMedicalHistory"));
    setWindowTitle(QStringLiteral("Medical History"));
    resize(680, 440);

    makePatientFrame(this);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));

    auto *past = new QWidget;
    SSTab1->addTab(past, QStringLiteral("&Past Medical History"));
    auto *pastGrid = new QGridLayout(past);
    txtPastIllness = historyBox(past, "txtPastIllness");
    txtPastHospitalization = historyBox(past, "txtPastHospitalization");
    txtPresentMedications = historyBox(past, "txtPresentMedications");
    txtAllergies = historyBox(past, "txtAllergies");
    addRow(pastGrid, 0, 0, QStringLiteral("Past Illness:"), txtPastIllness);
    addRow(pastGrid, 1, 0, QStringLiteral("Past Hospitalization:"), txtPastHospitalization);
    addRow(pastGrid, 2, 0, QStringLiteral("Present Medications:"), txtPresentMedications);
    addRow(pastGrid, 3, 0, QStringLiteral("Allergies:"), txtAllergies);
    pastGrid->setRowStretch(4, 1);

    auto *family = new QWidget;
    SSTab1->addTab(family, QStringLiteral("&Family Medical History"));
    txtFamilyHistory = historyBox(family, "txtFamilyHistory", 8);
    txtFamilyHistory->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (new QVBoxLayout(family))->addWidget(txtFamilyHistory);

    auto *social = new QWidget;
    SSTab1->addTab(social, QStringLiteral("&Social History"));
    auto *socialGrid = new QGridLayout(social);
    txtTobaccoUse = historyBox(social, "txtTobaccoUse");
    txtAlcoholUse = historyBox(social, "txtAlcoholUse");
    txtIllicitDrugUse = historyBox(social, "txtIllicitDrugUse");
    txtSexualHistory = historyBox(social, "txtSexualHistory");
    addRow(socialGrid, 0, 0, QStringLiteral("Tobacco Use:"), txtTobaccoUse);
    addRow(socialGrid, 1, 0, QStringLiteral("Alcohol Use:"), txtAlcoholUse);
    addRow(socialGrid, 2, 0, QStringLiteral("Illicit Drug Use:"), txtIllicitDrugUse);
    addRow(socialGrid, 3, 0, QStringLiteral("Sexual History:"), txtSexualHistory);
    socialGrid->setRowStretch(4, 1);

    auto *ob = new QWidget;
    SSTab1->addTab(ob, QStringLiteral("&OB/Menstrual History"));
    auto *obGrid = new QGridLayout(ob);
    txtObScore = historyBox(ob, "txtObScore");
    txtMenarche = historyBox(ob, "txtMenarche");
    txtOCPUse = historyBox(ob, "txtOCPUse");
    addRow(obGrid, 0, 0, QStringLiteral("OB Score:"), txtObScore);
    addRow(obGrid, 1, 0, QStringLiteral("OB Menarche:"), txtMenarche);
    addRow(obGrid, 2, 0, QStringLiteral("OCP Use:"), txtOCPUse);
    auto *period = new QGroupBox(QStringLiteral("Menstrual Period"), ob);
    auto *periodGrid = new QGridLayout(period);
    // Created row by row: the keyboard goes pads, regularity, days, dysmenorrhea.
    txtPadsDay = historyBox(period, "txtPadsDay");
    txtRegularity = historyBox(period, "txtRegularity");
    txtNoDays = historyBox(period, "txtNoDays");
    txtDysmenorrhea = historyBox(period, "txtDysmenorrhea");
    addRow(periodGrid, 0, 0, QStringLiteral("Pads/day:"), txtPadsDay);
    addRow(periodGrid, 0, 2, QStringLiteral("Regularity:"), txtRegularity);
    addRow(periodGrid, 1, 0, QStringLiteral("No. of days:"), txtNoDays);
    addRow(periodGrid, 1, 2, QStringLiteral("Dysmenorrhea noted:"), txtDysmenorrhea);
    obGrid->addWidget(period, 3, 0, 1, 2);
    obGrid->setRowStretch(4, 1);

    Command1 = newButton(this, "Command1", QStringLiteral("Export to PDF"));
    cmdSave = newButton(this, "cmdSave", QStringLiteral("Save"));
    cmdSave->setDefault(true);
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));
    auto *buttons = buttonRow({Command1}, {cmdSave, cmdCancel});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraPatient);
    layout->addWidget(SSTab1, 1);
    layout->addLayout(buttons);

    setTabChain({SSTab1, txtPastIllness, txtPastHospitalization, txtPresentMedications,
                 txtAllergies, txtFamilyHistory, txtTobaccoUse, txtAlcoholUse, txtIllicitDrugUse,
                 txtSexualHistory, txtObScore, txtMenarche, txtOCPUse, txtPadsDay, txtRegularity,
                 txtNoDays, txtDysmenorrhea, Command1, cmdSave, cmdCancel});

    m_historyFields = {
        txtPastIllness, txtPastHospitalization, txtPresentMedications, txtAllergies,
        txtFamilyHistory, txtTobaccoUse, txtAlcoholUse, txtIllicitDrugUse, txtSexualHistory,
        txtObScore, txtMenarche, txtOCPUse, txtPadsDay, txtNoDays, txtRegularity,
        txtDysmenorrhea};

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int tab) { SSTab1_Click(tab); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmMedicalHistory::Form_Load()
{
    applyHandCursor(this, ctx.folders().program);
}

void frmMedicalHistory::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmMedicalHistory"),
               QStringLiteral("Form_Activate"));
    step([&] { ResetControls(this); });
    m_patientID = ctx.SelectedPatientID;
    m_guard.clear();
    step([&] {
        Recordset rs;
        if (!openPatient(rs, ctx.db(), m_patientID)) {
            tellPatientNotFound(ctx.prompter());
            close();
            step.stop();
            return;
        }
        QStringList columns;
        for (const char *column : historyColumns)
            columns << QLatin1String(column);
        m_guard.load(rs, QStringLiteral("PatientRecords"), QStringLiteral("PatientID"),
                     m_patientID, columns);
        Audit::view(ctx.db(), QStringLiteral("PatientRecords"), m_patientID, m_patientID);
        fraPatient->fill(patientHeader(rs));
        for (size_t i = 0; i < std::size(historyColumns); ++i)
            m_historyFields[i]->setText(rs.Text(QLatin1String(historyColumns[i])));
    });
}

void frmMedicalHistory::SSTab1_Click(int tab)
{
    QWidget *const first[] = {txtPastIllness, txtFamilyHistory, txtTobaccoUse, txtObScore};
    if (tab >= 0 && tab < int(std::size(first)))
        first[tab]->setFocus();
}

void frmMedicalHistory::cmdSave_Click()
{
    Prompter &prompter = ctx.prompter();
    Steps step(prompter, QStringLiteral("frmMedicalHistory"), QStringLiteral("cmdSave_Click"));
    bool saved = false;
    step([&] {
        QString sql = QStringLiteral("update [PatientRecords] set ");
        for (size_t i = 0; i < std::size(historyColumns); ++i) {
            if (i > 0)
                sql += QLatin1Char(',');
            sql += QLatin1Char('[') + QLatin1String(historyColumns[i]) + QStringLiteral("]='")
                   + sqlText(m_historyFields[i]->text()) + QLatin1Char('\'');
        }
        sql += QStringLiteral(" where [PatientID]=") + sqlId(m_patientID);
        // A patient gone at another workstation, or a history changed there,
        // is never written over without a word.
        saved = saveGuarded(ctx.db(), prompter, m_guard, [&] {
                    Audit::recordWrite(ctx.db(), QStringLiteral("Update"),
                                       QStringLiteral("PatientRecords"),
                                       QStringLiteral("PatientID"), m_patientID, m_patientID,
                                       [&] { ctx.db().Execute(sql); });
                })
                == GuardedSave::Saved;
    });
    // A failed or refused save keeps the window and everything typed in it.
    if (!saved)
        return;
    step([&] {
        prompter.message(QStringLiteral("Record Successfully Saved."),
                         QStringLiteral("Record Saved"), MsgIcon::Information, MsgButtons::OK);
    });
    step([&] { close(); });
}

void frmMedicalHistory::Command1_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmMedicalHistory"),
               QStringLiteral("Command1_Click"));
    Recordset rs;
    step([&] {
        rs.Open(visitExportSql(m_patientID), ctx.db(), adOpenStatic, adLockReadOnly);
        if (rs.isEOF()) {
            tellNoRecordFound(ctx.prompter());
            step.stop();
        }
    });
    if (step.failed())
        return;
    step([&] { SaveRecordsetToPDF(rs, QString(), ctx); });
}
