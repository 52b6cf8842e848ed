#include "visits/PatientInfoFrame.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "visits/PatientHeader.h"

namespace {

QLineEdit *displayBox(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    QPalette p = box->palette();
    p.setColor(QPalette::Base, QColor(255, 255, 225));
    box->setPalette(p);
    return box;
}

QLabel *small(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    label->setFont(f);
    return label;
}

} // namespace

PatientInfoFrame::PatientInfoFrame(QWidget *parent)
    : QGroupBox(QStringLiteral("Patient Information"), parent)
{
    setObjectName(QStringLiteral("fraPatientInformation"));
    txtLastname = displayBox(this, "txtLastname");
    txtFirstname = displayBox(this, "txtFirstname");
    txtMi = displayBox(this, "txtMi");
    txtGender = displayBox(this, "txtGender");
    txtBirthDate = displayBox(this, "txtBirthDate");
    txtAge = displayBox(this, "txtAge");
    txtCivilStatus = displayBox(this, "txtCivilStatus");
    txtAge->setMaximumWidth(60);

    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), this), 0, 0);
    grid->addWidget(txtLastname, 0, 1);
    grid->addWidget(txtFirstname, 0, 2);
    grid->addWidget(txtMi, 0, 3);
    grid->addWidget(small(QStringLiteral("Last"), this), 1, 1);
    grid->addWidget(small(QStringLiteral("First"), this), 1, 2);
    grid->addWidget(small(QStringLiteral("Middle"), this), 1, 3);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Gender:"), this));
    row->addWidget(txtGender);
    row->addWidget(new QLabel(QStringLiteral("Birth Date:"), this));
    row->addWidget(txtBirthDate);
    row->addWidget(new QLabel(QStringLiteral("Age:"), this));
    row->addWidget(txtAge);
    row->addWidget(new QLabel(QStringLiteral("Civil Status:"), this));
    row->addWidget(txtCivilStatus);
    grid->addLayout(row, 2, 0, 1, 4);
}

void PatientInfoFrame::fill(const PatientHeader &header)
{
    txtLastname->setText(header.lastName);
    txtFirstname->setText(header.firstName);
    txtMi->setText(header.middleName);
    txtGender->setText(header.gender);
    txtCivilStatus->setText(header.maritalStatus);
    txtBirthDate->setText(header.birthDate);
    txtAge->setText(header.age);
}

void PatientHeaderBoxes::makePatientFrame(QWidget *window)
{
    fraPatient = new PatientInfoFrame(window);
    txtLastname = fraPatient->txtLastname;
    txtFirstname = fraPatient->txtFirstname;
    txtMi = fraPatient->txtMi;
    txtGender = fraPatient->txtGender;
    txtBirthDate = fraPatient->txtBirthDate;
    txtAge = fraPatient->txtAge;
    txtCivilStatus = fraPatient->txtCivilStatus;
}
