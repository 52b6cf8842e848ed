#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QVariant>

class Prompter;

// Path, file and small text utilities. They report nothing themselves:
// failures come back as results or reach the caller's error trap.

inline QChar nativeSeparator() { return QDir::separator(); }

// 26 = per-user roaming application data, 0 = desktop; "" when unknown.
QString SpecialFolderPath(int folderId);
// The desktop folder with a trailing separator.
QString DesktopFolderPath();

QVariant NullToDefault(const QVariant &value, const QVariant &defaultValue);
bool FileExists(const QString &path);
bool FileExistsStrict(const QString &path);
bool IsFolder(const QString &path);

// Mode 1 reads the whole file into text; 2 replaces the file with text + CR LF;
// 3 appends text + CR LF. Returns 0 or the number of the error that stopped it.
int ReadWriteTextFile(const QString &path, QString &text, int mode);
void RemoveFile(const QString &path);
bool WriteBytesToFile(const QString &path, const QByteArray &bytes);

QString FolderOfPath(const QString &path, QChar sep = nativeSeparator());
QString NormalizePath(const QString &path, QChar sep = nativeSeparator());
void CopyFiles(const QString &source, const QString &destination, QChar sep = nativeSeparator());

QString BrowseForFolder(Prompter &prompter, const QString &title, const QString &startFolder);

// Whole years from the date text to today; negative for a future year.
int AgeInYears(const QString &dateText, const QDate &today = QDate::currentDate());
QString RemoveSpaces(const QString &text);

// Dates are stored as "yyyy-MM-dd" and shown by the pickers as "MM/dd/yyyy".
QString storageDate(const QDate &date);
// Reads the stored form, and the "MM/dd/yyyy" form typed by people.
QDate dateFromText(const QString &text);

// Text with every apostrophe doubled, for a value inside '...' in SQL.
QString sqlText(const QString &value);

// The installed printers, as the start-up check sees them.
class PrinterList
{
public:
    virtual ~PrinterList() = default;
    virtual QStringList printerNames() const = 0;
};

inline QString pdfPrinterName() { return QStringLiteral("Trevanto PDF Writer"); }
void CheckPdfPrinter(const PrinterList &printers, Prompter &prompter);

// "Text Files (*.txt)|*.txt" -> "Text Files (*.txt)" for the Qt file dialogs.
QString qtFileFilter(const QString &filter);
