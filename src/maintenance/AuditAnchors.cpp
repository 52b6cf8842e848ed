#include "maintenance/AuditAnchors.h"

#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Schema.h"
#include "maintenance/AutomaticBackup.h"
#include "shell/AppState.h"
#include "shell/Settings.h"

namespace AuditAnchors {
namespace {

// This workstation's anchor: "<id> <seal> <EventDate>", and the database it is of.
const QString kSeenKey = QStringLiteral("Audit Trail Seal");
const QString kSeenDatabaseKey = QStringLiteral("Audit Trail Seal Database");

QString databaseName(const QString &database)
{
    return isServerUri(database) ? database.trimmed() : QFileInfo(database).absoluteFilePath();
}

// A seal file: "Database: <database>" and "Row: <anchor>" lines.
bool readSealFile(const QString &path, const QString &database, Audit::Anchor &anchor)
{
    QFile file(path);
    // A seal file is small; anything else lying there under that name is not one.
    if (file.size() > 4096 || !file.open(QIODevice::ReadOnly))
        return false;
    QString of;
    QString row;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Database: ")))
            of = line.mid(10).trimmed();
        else if (line.startsWith(QLatin1String("Row: ")))
            row = line.mid(5);
    }
    if (of != databaseName(database) || !Audit::parseAnchor(row, anchor))
        return false;
    anchor.source = path;
    return true;
}

} // namespace

QString sealFileFor(const QString &backup)
{
    return backup + QStringLiteral(".seal");
}

void writeBeside(const QString &backup, const QString &password, const QString &database)
{
    Audit::Stored newest;
    {
        Connection copy;
        copy.Open(backup, password);
        // A database from before sealed trails has no seal to keep.
        const QStringList lacking = Schema::lacking(copy.engine());
        if (lacking.contains(QLatin1String("AuditTrail"))
            || lacking.contains(QLatin1String("AuditTrail.Seal")))
            return;
        newest = Audit::newest(copy);
    }
    if (newest.id == 0 || newest.seal.isEmpty())
        return;
    QSaveFile file(sealFileFor(backup));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("Could not write '%1'.").arg(file.fileName()).toStdString());
    file.write(QStringLiteral("Database: %1\nRow: %2\n")
                   .arg(databaseName(database), Audit::anchorText(newest))
                   .toUtf8());
    if (!file.commit())
        throw std::runtime_error(
            QStringLiteral("Could not write '%1'.").arg(file.fileName()).toStdString());
}

void remember(AppState &state)
{
    if (!state.db().State())
        return;
    const Audit::Stored newest = Audit::newest(state.db());
    if (newest.id == 0 || newest.seal.isEmpty())
        return;
    state.settings().SaveSetting(kSeenKey, Audit::anchorText(newest));
    state.settings().SaveSetting(kSeenDatabaseKey, databaseName(state.databaseFile()));
}

std::vector<Audit::Anchor> known(AppState &state)
{
    const QString database = state.databaseFile();
    std::vector<Audit::Anchor> anchors;
    Audit::Anchor seen;
    if (state.settings().GetSetting(kSeenDatabaseKey) == databaseName(database)
        && Audit::parseAnchor(state.settings().GetSetting(kSeenKey), seen)) {
        seen.source = state.settings().fileName();
        anchors.push_back(seen);
    }
    QStringList folders{AutomaticBackup::folder(state)};
    // Where "Backup Now" writes, as its window offers it.
    folders << state.settings().GetSetting(SettingKeys::BackupDestination, state.folders().desktop);
    QStringList seenFiles;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        if (folder.isEmpty() || !dir.exists())
            continue;
        for (const QString &name : dir.entryList({QStringLiteral("*.seal")}, QDir::Files)) {
            const QString path = QFileInfo(dir.filePath(name)).absoluteFilePath();
            Audit::Anchor anchor;
            if (seenFiles.contains(path) || !readSealFile(path, database, anchor))
                continue;
            seenFiles << path;
            anchors.push_back(anchor);
        }
    }
    return anchors;
}

Audit::CheckReport checkTrail(AppState &state)
{
    return Audit::check(state.db(), known(state));
}

int checkConfigured(AppState &state, QString &output)
{
    try {
        state.db().Open(state.databaseFile(), state.databasePassword());
        const Audit::CheckReport report = checkTrail(state);
        output = report.text() + QLatin1Char('\n');
        return report.whole ? 0 : 1;
    } catch (const DbError &e) {
        output = QStringLiteral("The audit trail of %1 could not be checked: %2\n")
                     .arg(state.databaseFile(), e.description());
    } catch (const std::exception &e) {
        output = QStringLiteral("The audit trail of %1 could not be checked: %2\n")
                     .arg(state.databaseFile(), QString::fromStdString(e.what()));
    }
    return 2;
}

} // namespace AuditAnchors
