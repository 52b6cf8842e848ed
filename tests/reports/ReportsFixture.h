#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TestWorld;

// Two patients with one visit each, whose values need care in every format:
// a quote, "<", "&", ">", an apostrophe, non-Latin letters and a NULL.
void addTrickyVisits(TestWorld &w);
// The visit export statement over those rows, oldest visit first.
QString visitExportSql();

QByteArray readFile(const QString &path);
QByteArray expectedFile(const QString &relative); // under tests/data

// Runs a program and returns its standard output; fails the test on error.
QByteArray runTool(const QString &program, const QStringList &arguments);
// The text of a PDF file, as pdftotext -layout extracts it.
QString pdfText(const QString &path);
