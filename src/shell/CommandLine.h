#pragma once

#include <QString>
#include <QStringList>

// The two options every desktop program answers. Anything else on the command
// line is left to Qt, as before.
namespace CommandLine {

enum class Action { Run, Version, Help };

// arguments: the command line without the program's name. The first of
// "--version", "--help" or "-h" decides.
Action parse(const QStringList &arguments);

// "1.0"
QString version();
// "Medlantis 1.0"
QString versionText();
// One paragraph: what the program is, where its data and settings are.
QString helpText(const QString &dataFolder, const QString &settingsFile);

} // namespace CommandLine
