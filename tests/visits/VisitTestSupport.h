#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

class TestWorld;

// Adds a visit with its header columns; every other column stays NULL.
void addVisit(TestWorld &w, int historyId, int patientId, const QString &visitDate,
              const QString &complaint, const QString &physician = QStringLiteral("Dr. Reyes"),
              const QString &nurse = QStringLiteral("Kim"));

// Every value of the first row of sql.
QVariantList rowValues(TestWorld &w, const QString &sql);

// The texts of the first page of the report preview shown last; closes it.
QStringList takeLastReportPage();

// Position of the first text that contains part, or -1.
int indexOfText(const QStringList &texts, const QString &part);
