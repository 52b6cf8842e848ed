#include "shell/modMain.h"

#include <stdexcept>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "shell/Prompter.h"

QString SpecialFolderPath(int folderId)
{
    QString path;
    if (folderId == 26)
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    else if (folderId == 0)
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    path.remove(QChar(0));
    return QDir::toNativeSeparators(path.trimmed());
}

QString DesktopFolderPath()
{
    return SpecialFolderPath(0) + nativeSeparator();
}

QVariant NullToDefault(const QVariant &value, const QVariant &defaultValue)
{
    return value.isNull() ? defaultValue : value;
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool FileExistsStrict(const QString &path)
{
    if (path.isEmpty() || path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?')))
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

int ReadWriteTextFile(const QString &path, QString &text, int mode)
{
    QFile file(path);
    if (mode == 1) {
        if (!file.open(QIODevice::ReadOnly))
            return file.exists() ? 70 : 53; // permission denied / file not found
        text = QString::fromUtf8(file.readAll());
        return 0;
    }
    if (mode != 2 && mode != 3)
        return 5;
    const QIODevice::OpenMode how =
        QIODevice::WriteOnly | (mode == 3 ? QIODevice::Append : QIODevice::Truncate);
    if (!file.open(how))
        return QFileInfo(path).dir().exists() ? 75 : 76; // path/file access error, path not found
    const QByteArray bytes = text.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size())
        return 61; // disk full
    file.close();
    return file.error() == QFileDevice::NoError ? 0 : 61;
}

void RemoveFile(const QString &path)
{
    QCoreApplication::processEvents();
    if (QFile::remove(path))
        return;
    // Read-only files too.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
    QFile::remove(path);
}

bool WriteBytesToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QString FolderOfPath(const QString &path, QChar sep)
{
    const int last = path.lastIndexOf(sep);
    return last < 0 ? QString() : path.left(last + 1);
}

namespace {
QString collapseDoubles(const QString &text, QChar sep)
{
    // One left-to-right pass: three separators in a row become two.
    const QString twice = QString(sep) + sep;
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.mid(i, 2) == twice) {
            out += sep;
            ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}
} // namespace

QString NormalizePath(const QString &path, QChar sep)
{
    if (path.isEmpty() || path.at(0) != sep)
        return collapseDoubles(path, sep);
    int start = 0;
    while (start < path.size() && path.at(start) == sep)
        ++start;
    const QString rest = collapseDoubles(path.mid(start), sep);
    // A leading run of backslashes is a network share and keeps exactly two;
    // a leading run of slashes is the root of a POSIX path and keeps one.
    if (sep == QLatin1Char('/'))
        return sep + rest;
    return QString(sep) + sep + rest;
}

void CopyFiles(const QString &source, const QString &destination, QChar sep)
{
    if (source.trimmed().isEmpty() || destination.trimmed().isEmpty())
        return;
    const QString from = NormalizePath(source, sep);
    QString to = NormalizePath(destination, sep);
    if (from.contains(QLatin1Char('?')) || from.contains(QLatin1Char('*')))
        to = FolderOfPath(to, sep);
    if (!FileExistsStrict(from) || !IsFolder(FolderOfPath(to, sep)))
        return;
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath())
        return;
    QFile::remove(to);
    QFile::copy(from, to);
}

QString BrowseForFolder(Prompter &prompter, const QString &title, const QString &startFolder)
{
    QString chosen = prompter.browseFolder(title, startFolder);
    const int nul = chosen.indexOf(QChar(0));
    if (nul >= 0)
        chosen.truncate(nul);
    return QDir::toNativeSeparators(chosen);
}

QDate dateFromText(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *format : {"yyyy-MM-dd", "MM/dd/yyyy", "M/d/yyyy", "yyyy-MM-ddTHH:mm:ss"}) {
        const QDate d = QDate::fromString(t, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return QDate();
}

QString storageDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

int AgeInYears(const QString &dateText, const QDate &today)
{
    const QDate born = dateFromText(dateText);
    if (!born.isValid())
        throw std::invalid_argument(
            QStringLiteral("Type mismatch: '%1' is not a date.").arg(dateText).toStdString());
    int age = today.year() - born.year();
    if (born.month() > today.month() || (born.month() == today.month() && born.day() > today.day()))
        --age;
    return age;
}

QString RemoveSpaces(const QString &text)
{
    QString out = text;
    out.remove(QLatin1Char(' '));
    return out;
}

QString sqlText(const QString &value)
{
    QString out = value;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return out;
}

void CheckPdfPrinter(const PrinterList &printers, Prompter &prompter)
{
    const QString name = pdfPrinterName();
    if (printers.printerNames().contains(name, Qt::CaseSensitive))
        return;
    const QString crlf = QStringLiteral("\r\n");
    const QString text = name
        + QStringLiteral(" is not installed. Please follow these instructions:") + crlf + crlf
        + QStringLiteral("1) Go to Control Panel -> Printers and Faxes to add a local printer.")
        + crlf + QStringLiteral("2) Choose ''CPW2: (") + name
        + QStringLiteral(")'' on Select a Printer Port dialog box, click Next.") + crlf
        + QStringLiteral("3) Choose a Postscript printer (e.g. HP Color LaserJet PS), click Next.")
        + crlf + QStringLiteral("4) Enter ") + name
        + QStringLiteral(" as Printer name, click Next -> Finish.");
    prompter.message(text, applicationTitle(), MsgIcon::None, MsgButtons::OK);
}

QString qtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        const QString patterns = parts.at(i + 1).trimmed();
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        const int paren = description.indexOf(QLatin1Char('('));
        if (paren >= 0)
            description = description.left(paren).trimmed();
        QString qtPatterns = patterns;
        qtPatterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << description + QStringLiteral(" (") + qtPatterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}
