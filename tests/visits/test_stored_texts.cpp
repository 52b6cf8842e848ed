#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "data/Recordset.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmMedicalHistory.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"
#include "visits/frmAddNewPatientRecord.h"

// Values as another program, or a paste, may have stored them: longer than
// any box lets one type, with CR LF, a lone CR and LF, and a tab.
namespace {

QString storedText(int size, const QString &tag)
{
    QString text = tag + QStringLiteral(": first line\r\nsecond\tline\rthird\nO'Neil ");
    while (text.size() < size)
        text += QStringLiteral("Żółw ß %1\r\n").arg(text.size());
    return text.left(size);
}

void store(TestWorld &w, const QString &table, const QString &column, const QString &key,
           const QString &value)
{
    Recordset rs;
    rs.Open(QStringLiteral("select %1 from %2 where %3").arg(column, table, key), w.db());
    rs.setValue(column, value);
    rs.Update();
}

// Every stored value of a row; a NULL that became "" counts as unchanged (the
// editors write every column they show, empty boxes as the empty text).
void expectSameValues(const QVariantList &after, const QVariantList &before)
{
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        if (before.at(i).isNull())
            EXPECT_TRUE(after.at(i).isNull() || after.at(i).toString().isEmpty()) << i;
        else
            EXPECT_TRUE(after.at(i) == before.at(i)) << i;
    }
}

} // namespace

TEST(StoredTexts, TheVisitEditorSavesAnUnchangedVisitByteForByte)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
    addVisit(w, 1, 1, QStringLiteral("2024-03-01"), QStringLiteral("Cough"));
    store(w, QStringLiteral("MedicalHistory"), QStringLiteral("Diagnosis"),
          QStringLiteral("HistoryID=1"), storedText(100000, QStringLiteral("Diagnosis")));
    store(w, QStringLiteral("MedicalHistory"), QStringLiteral("Physician"),
          QStringLiteral("HistoryID=1"), storedText(40000, QStringLiteral("Physician")));
    store(w, QStringLiteral("MedicalHistory"), QStringLiteral("ROSGeneral"),
          QStringLiteral("HistoryID=1"), storedText(40000, QStringLiteral("General")));
    const QString sql = QStringLiteral("select * from MedicalHistory where HistoryID=1");
    const QVariantList before = rowValues(w, sql);

    w.ctx().SelectedHistoryID = QStringLiteral("1");
    frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
    f.show();
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().texts(), QStringList{"Record Successfully Saved."});
    expectSameValues(rowValues(w, sql), before);

    // An edited paragraph keeps the line breaks the record used.
    w.prompter().clear();
    f.show();
    f.txtDiagnosis->setPlainText(QStringLiteral("Asthma\nmild"));
    f.cmdSave->click();
    EXPECT_EQ(w.scalar(QStringLiteral("select Diagnosis from MedicalHistory")).toString(),
              QStringLiteral("Asthma\r\nmild"));
}

TEST(StoredTexts, TheMedicalHistorySavesUnchangedTextsByteForByte)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    const QStringList columns = {"Illness",     "FamilyHistory", "Allergies",
                                 "SexualHistory", "DysmenorrheaNoted"};
    for (const QString &column : columns)
        store(w, QStringLiteral("PatientRecords"), column, QStringLiteral("PatientID=1"),
              storedText(40000, column));
    const QString sql = QStringLiteral("select * from PatientRecords where PatientID=1");
    const QVariantList before = rowValues(w, sql);

    w.ctx().SelectedPatientID = QStringLiteral("1");
    frmMedicalHistory &f = w.ctx().window<frmMedicalHistory>();
    f.show();
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().texts(), QStringList{"Record Successfully Saved."});
    // Empty boxes now store "" where there was NULL; the stored texts are untouched.
    const QVariantList after = rowValues(w, sql);
    Recordset names;
    names.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    for (const QString &column : columns) {
        const int i = names.FieldIndex(column);
        EXPECT_TRUE(after.at(i).toString() == before.at(i).toString()) << column.toStdString();
    }
}

TEST(StoredTexts, ThePatientEditorSavesAnUnchangedPatientByteForByte)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    store(w, QStringLiteral("PatientRecords"), QStringLiteral("Notes"),
          QStringLiteral("PatientID=1"), storedText(40000, QStringLiteral("Notes")));
    // Longer than the boxes' own limits of 20 and 50 characters.
    store(w, QStringLiteral("PatientRecords"), QStringLiteral("SSN"),
          QStringLiteral("PatientID=1"), QStringLiteral("123-45-6789 / 987-65-4321 (old)"));
    store(w, QStringLiteral("PatientRecords"), QStringLiteral("Address1"),
          QStringLiteral("PatientID=1"), storedText(300, QStringLiteral("Address")));
    // A photo another program stored as PNG: shown, and not re-encoded by a save.
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    {
        Recordset rs;
        rs.Open(QStringLiteral("select Photo from PatientRecords where PatientID=1"), w.db());
        rs.setValue(QStringLiteral("Photo"), png);
        rs.Update();
    }
    const QString sql = QStringLiteral("select * from PatientRecords where PatientID=1");
    const QVariantList before = rowValues(w, sql);

    w.ctx().EditPatientID = QStringLiteral("1");
    frmAddNewPatient &f = w.ctx().window<frmAddNewPatient>();
    w.ctx().modalHook = [](Form &form) { static_cast<frmAddNewPatient &>(form).cmdSave->click(); };
    w.ctx().showModal(f);
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_FALSE(f.photo().isNull());
    expectSameValues(rowValues(w, sql), before);
    EXPECT_EQ(w.scalar(QStringLiteral("select Photo from PatientRecords")).toByteArray(), png);
}

TEST(StoredTexts, TabLeavesAParagraphBoxForTheNextField)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
    w.ctx().SelectedPatientID = QStringLiteral("1");
    w.ctx().SelectedHistoryID.clear();
    frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.SSTab1->setCurrentIndex(4);
    f.txtDiagnosis->setFocus();
    QTest::keyClicks(f.txtDiagnosis, QStringLiteral("Otitis"));
    QTest::keyClick(f.txtDiagnosis, Qt::Key_Tab);
    EXPECT_EQ(f.txtDiagnosis->text(), QStringLiteral("Otitis"));
    EXPECT_EQ(QApplication::focusWidget(), f.txtBodyRegion);
}
