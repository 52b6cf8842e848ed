#pragma once

#include <QString>

class AppState;
class Recordset;

// Exports of a recordset. Each routine copies every field of every row from
// the current one to the end (the recordset is then at end of file), under
// the field names the query gave. Text files are UTF-8 with CR LF line
// breaks, written whole through a temporary file, so a failure leaves no
// partial file. Failures throw; the caller shows them.

// Replaces the file with text followed by CR LF.
void SaveTextToFile(const QString &text, const QString &fileName);

void SaveRecordsetToXML(Recordset &rs, const QString &fileName);
void SaveRecordsetToCSV(Recordset &rs, const QString &fileName);
void SaveRecordsetToTXT(Recordset &rs, const QString &fileName);

// The text each writer saves (without the final CR LF SaveTextToFile adds).
QString recordsetXml(Recordset &rs);
QString recordsetCsv(Recordset &rs);
QString recordsetTxt(Recordset &rs);

// A valid XML element name: blanks and every other character a name cannot
// hold become "_".
QString xmlElementName(const QString &fieldName);

// Writes a new workbook into the temporary folder and opens it with the
// desktop's spreadsheet program; when nothing opens it, tells the user where
// it is. The file name is not used.
void SaveRecordsetToXLS(Recordset &rs, const QString &fileName, AppState &state);
// The name pattern of the workbooks SaveRecordsetToXLS leaves in the temporary folder.
QString workbookPattern();
// Removes the workbooks earlier runs left in the temporary folder (the
// spreadsheet program has closed them by the next start); returns how many.
int removeOldWorkbooks(const QString &tempFolder);
// The workbook alone: field names in row 1, values from row 2 on.
void writeRecordsetXlsx(Recordset &rs, const QString &path, const QString &tempFolder);

// Prints the tab-separated text of the recordset to a PDF file the user
// chooses, then opens it. Traps its own errors. The file name is not used.
void SaveRecordsetToPDF(Recordset &rs, const QString &fileName, AppState &state);
