#pragma once

#include <QString>
#include <QStringList>

// The two options every desktop program answers, and the check of the audit
// trail that an administrator runs from cron. Anything else on the command
// line is left to Qt, as before.
namespace CommandLine {

enum class Action { Run, Version, Help, CheckAuditTrail };

// arguments: the command line without the program's name. The first of
// "--version", "--help", "-h" or "--check-audit-trail" decides.
Action parse(const QStringList &arguments);

// "1.0"
QString version();
// "Medlantis 1.0"
QString versionText();
// One paragraph: what the program is, where its data and settings are.
QString helpText(const QString &dataFolder, const QString &settingsFile);

} // namespace CommandLine
