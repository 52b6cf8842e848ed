#pragma once

#include <vector>

#include <QString>
#include <QStringList>

// Tab-separated text (a heading line, then one line per row) set as a table
// in a fixed-pitch font: tabs become aligned columns, a cell wider than
// maxColumn wraps inside its column, columns that do not fit beside each
// other follow as further groups, and every page repeats its group's
// heading. Returns the lines of each page.
std::vector<QStringList> textTablePages(const QString &text, int lineWidth, int linesPerPage,
                                        int maxColumn = 40);

// Writes that table as a landscape PDF (through a temporary file in the
// same folder). Throws std::runtime_error.
void writeTextTablePdf(const QString &text, const QString &fileName, const QString &title);
