#include "shell/CommandLine.h"

#include "shell/Version.h"

namespace CommandLine {
namespace {

// Greedy wrap for a terminal; a word longer than the width stays whole.
QString wrapped(const QString &text, int width = 78)
{
    QString out;
    int column = 0;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > width) {
            out += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += int(word.size());
    }
    return out + QLatin1Char('\n');
}

} // namespace

Action parse(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--version"))
            return Action::Version;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return Action::Help;
        if (argument == QLatin1String("--check-audit-trail"))
            return Action::CheckAuditTrail;
    }
    return Action::Run;
}

QString version()
{
    return QStringLiteral(MEDLANTIS_VERSION);
}

QString versionText()
{
    return QStringLiteral("Medlantis ") + version();
}

QString helpText(const QString &dataFolder, const QString &settingsFile)
{
    return wrapped(
        versionText()
        + QStringLiteral(" keeps the patients and visits of a small medical practice: "
                         "sign-in under user accounts, patient and visit records, printed "
                         "lists and exports, backups. It keeps its working database "
                         "(dbData.mdb) in ")
        + dataFolder
        + QStringLiteral(" unless Network Settings names another file, its daily backups (unless "
                         "chosen otherwise) in a Backups folder beside that database, and its "
                         "settings in ")
        + settingsFile
        + QStringLiteral(". Start it without options to open it; --version prints the "
                         "version; --check-audit-trail checks the audit trail of the database "
                         "and exits with 0 when it is whole, 1 when it is not."));
}

} // namespace CommandLine
