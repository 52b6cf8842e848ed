#include "ReportsFixture.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include "support/TestWorld.h"

void addTrickyVisits(TestWorld &w)
{
    w.addPatient(7, QStringLiteral("Cruz"), QStringLiteral("Ana"));
    w.addPatient(12, QStringLiteral("Żółć"), QStringLiteral("Łukasz"));
    w.exec(QStringLiteral(
        "insert into MedicalHistory (HistoryID, PatientID, VisitDate, ChiefComplaint, Physician, "
        "Nurse) values (1, 12, '2024-04-11', 'Fever & chills > 38', 'Dr. Ωμέγα', 'M. Reyes')"));
    w.exec(QStringLiteral(
        "insert into MedicalHistory (HistoryID, PatientID, VisitDate, ChiefComplaint, Physician, "
        "Nurse) values (2, 7, '2024-03-05', 'Cough \"dry\" <3 days', 'Dr. O''Neil', NULL)"));
}

QString visitExportSql()
{
    return QStringLiteral(
        "select a.PatientID,Firstname+' '+Lastname as [Patient Name],VisitDate as [Visit Date],"
        "ChiefComplaint as [Chief Complaint],Physician,Nurse from PatientRecords a inner join "
        "MedicalHistory b on a.PatientID=b.PatientID order by VisitDate");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QByteArray expectedFile(const QString &relative)
{
    const QByteArray bytes = readFile(QStringLiteral(MEDLANTIS_TEST_DATA "/") + relative);
    EXPECT_FALSE(bytes.isEmpty()) << "missing expected file " << relative.toStdString();
    return bytes;
}

QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    const bool finished = p.waitForFinished(60000);
    EXPECT_TRUE(finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QString pdfText(const QString &path)
{
    return QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"),
                {QStringLiteral("-layout"), path, QStringLiteral("-")}));
}
