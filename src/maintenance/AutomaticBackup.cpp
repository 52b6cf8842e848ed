#include "maintenance/AutomaticBackup.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include "data/Audit.h"
#include "maintenance/AuditAnchors.h"
#include "shell/AppState.h"
#include "shell/PrivateFiles.h"
#include "shell/Settings.h"

namespace AutomaticBackup {
namespace {

constexpr int kMaxKeep = 999;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

struct NameParts
{
    QString base;
    QString extension; // without the dot; may be empty
};

NameParts namePartsOf(const QString &databaseFile)
{
    if (isServerUri(databaseFile)) {
        // A backup is always a database file; it takes the server database's name.
        QString name = QUrl(databaseFile.trimmed()).path().section(QLatin1Char('/'), -1);
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
        return {name.isEmpty() ? QStringLiteral("dbData") : name, QStringLiteral("mdb")};
    }
    const QFileInfo info(databaseFile);
    return {info.completeBaseName(), info.suffix()};
}

struct Copy
{
    QString path;
    QDate date;
    QDateTime modified;
};

std::vector<Copy> copiesIn(const QString &folder, const QString &databaseFile)
{
    std::vector<Copy> copies;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &info : entries) {
        const QDate date = dateInName(info.fileName(), databaseFile);
        if (date.isValid())
            copies.push_back({info.filePath(), date, info.lastModified()});
    }
    // Newest first by the date in the name, which no copying of the folder changes.
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.date != b.date ? a.date > b.date : a.modified > b.modified;
    });
    return copies;
}

// Today's or yesterday's copy written in the last 24 hours, by this desk or
// another sharing the folder. A copy named for later, or one whose time lies
// ahead, says nothing: a desk whose clock runs ahead would otherwise stop every
// backup for as long as it runs ahead.
bool countsAsDone(const Copy &copy, const QDateTime &now)
{
    const QDate today = now.date();
    return (copy.date == today || copy.date == today.addDays(-1)) && copy.modified <= now
           && copy.modified > now.addSecs(-24 * 3600);
}

bool sameFolder(const QString &a, const QString &b)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(a))
        == QDir::cleanPath(QDir::fromNativeSeparators(b));
}

void prepareFolder(AppState &state, const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isRelative())
        fail(QStringLiteral("The backup folder '%1' is not a full path.").arg(folder));
    // A folder that cannot be listed would look empty, or look done.
    if (info.isDir() && !(info.isReadable() && info.isExecutable()))
        fail(QStringLiteral("The backup folder '%1' cannot be read.").arg(folder));
    if (info.isDir())
        return;
    if (info.exists())
        fail(QStringLiteral("'%1' is a file, not a folder.").arg(folder));
    // A chosen folder that is missing may be a drive that is not there today;
    // only the program's own folder is made.
    if (!sameFolder(folder, defaultFolder(state)))
        fail(QStringLiteral("The backup folder '%1' does not exist.").arg(folder));
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("Could not create the backup folder '%1'.").arg(folder));
    // Every desk that shares the database may read its copies; no one else.
    PrivateFiles::shareLikeDatabase(folder, state.databaseFile());
}

// The one place that knows how the working database becomes a backup file.
void writeCopy(AppState &state, const QString &target, const DatabaseFiles::Progress &progress)
{
    const QString database = state.databaseFile();
    // A server database is copied into a file of the embedded kind, like "Backup Now" does.
    if (!isServerUri(database) && !QFileInfo(database).isFile())
        fail(QStringLiteral("The database '%1' does not exist.").arg(database));
    const AuditWho who = state.db().who();
    DatabaseFiles::backupDatabase(database, target, state.databasePassword(), progress, &who);
}

// Removes the oldest copies, by the date in their names, beyond keep; the one
// just written always stays, and a copy named for a later day is neither
// counted nor removed.
QStringList prune(const QString &folder, const QString &databaseFile, const QString &written,
                  int keep, const QDate &today)
{
    QStringList removed;
    int kept = 1;
    for (const Copy &copy : copiesIn(folder, databaseFile)) {
        if (copy.date > today || QFileInfo(copy.path).fileName() == QFileInfo(written).fileName())
            continue;
        if (kept < keep) {
            ++kept;
            continue;
        }
        // Another workstation may have removed it already; that is fine.
        if (QFile::remove(copy.path))
            removed << copy.path;
        QFile::remove(AuditAnchors::sealFileFor(copy.path));
    }
    return removed;
}

} // namespace

bool isOn(AppState &state)
{
    const QString value =
        state.settings().GetSetting(SettingKeys::AutomaticBackup, QStringLiteral("1"));
    const QString v = value.trimmed().toLower();
    return !(v == QLatin1String("0") || v == QLatin1String("false"));
}

int keepCount(AppState &state)
{
    bool ok = false;
    const int keep = state.settings()
                         .GetSetting(SettingKeys::KeepBackups, QString::number(kDefaultKeep))
                         .trimmed()
                         .toInt(&ok);
    return ok ? std::clamp(keep, 1, kMaxKeep) : kDefaultKeep;
}

QString defaultFolder(AppState &state)
{
    const QString database = state.databaseFile();
    const QString home =
        isServerUri(database) ? state.userDataFolder() : QFileInfo(database).absolutePath();
    return QDir::toNativeSeparators(QDir(home).filePath(QStringLiteral("Backups")));
}

QString folder(AppState &state)
{
    const QString chosen =
        state.settings().GetSetting(SettingKeys::AutomaticBackupFolder).trimmed();
    return chosen.isEmpty() ? defaultFolder(state) : chosen;
}

QString fileNameFor(const QString &databaseFile, const QDate &date)
{
    const NameParts parts = namePartsOf(databaseFile);
    QString name = parts.base + QLatin1Char('-') + date.toString(QStringLiteral("yyyy-MM-dd"));
    if (!parts.extension.isEmpty())
        name += QLatin1Char('.') + parts.extension;
    return name;
}

QDate dateInName(const QString &fileName, const QString &databaseFile)
{
    const NameParts parts = namePartsOf(databaseFile);
    QString pattern = QStringLiteral("^") + QRegularExpression::escape(parts.base)
        + QStringLiteral("-(\\d{4}-\\d{2}-\\d{2})");
    if (!parts.extension.isEmpty())
        pattern += QStringLiteral("\\.") + QRegularExpression::escape(parts.extension);
    const QRegularExpressionMatch match =
        QRegularExpression(pattern + QStringLiteral("$")).match(fileName);
    if (!match.hasMatch())
        return {};
    return QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
}

Outcome run(AppState &state, const QDateTime &now, const DatabaseFiles::Progress &progress)
{
    Outcome outcome;
    if (!isOn(state))
        return outcome;
    const QString database = state.databaseFile();
    const QString dir = folder(state);
    prepareFolder(state, dir);
    // Names and times decide: no copy is opened.
    for (const Copy &copy : copiesIn(dir, database)) {
        if (countsAsDone(copy, now)) {
            outcome.result = Result::NotDue;
            outcome.file = copy.path;
            return outcome;
        }
    }
    const QString target =
        QDir::toNativeSeparators(QDir(dir).filePath(fileNameFor(database, now.date())));
    writeCopy(state, target, progress);
    outcome.result = Result::Written;
    outcome.file = target;
    outcome.removed = prune(dir, database, target, keepCount(state), now.date());
    return outcome;
}

namespace {

// The time of the newest copy named up to tomorrow and not modified later than now.
QDateTime newestCopy(AppState &state, const QDateTime &now)
{
    const QString dir = folder(state);
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isReadable())
        return {};
    QDateTime newest;
    for (const Copy &copy : copiesIn(dir, state.databaseFile())) {
        if (copy.date > now.date().addDays(1) || copy.modified > now)
            continue;
        // No copy was written after the end of the day it is named for.
        const QDateTime written = std::min(copy.modified, copy.date.endOfDay());
        if (!newest.isValid() || written > newest)
            newest = written;
    }
    return newest;
}

} // namespace

QString staleWarning(AppState &state, const QDateTime &now)
{
    if (!isOn(state))
        return {};
    const QDateTime newest = newestCopy(state, now);
    if (!newest.isValid() || newest >= now.addDays(-kStaleDays))
        return {};
    return QStringLiteral("No automatic backup has been written since %1. Check the backup "
                          "folder in Backup / Restore Patient Database.")
        .arg(newest.date().toString(QStringLiteral("MM/dd/yyyy")));
}

void noteFailure(AppState &state, const QDateTime &when, const QString &reason)
{
    state.settings().SaveSetting(QLatin1String(kFailureKey),
                                 when.toString(Qt::ISODate) + QLatin1Char(' ') + reason);
    // The trail keeps it for the administrator; with no database to write to,
    // the note above still tells the next start.
    try {
        Audit::add(state.db(), {QStringLiteral("Backup"), QString(), QVariant(), QVariant(),
                                QStringLiteral("Automatic backup failed: ") + reason});
    } catch (...) {
    }
}

QString takeFailure(AppState &state)
{
    const QString note = state.settings().GetSetting(QLatin1String(kFailureKey));
    if (note.isEmpty())
        return {};
    state.settings().SaveSetting(QLatin1String(kFailureKey), QString());
    const QDateTime when = QDateTime::fromString(note.section(QLatin1Char(' '), 0, 0),
                                                 Qt::ISODate);
    const QString reason = note.section(QLatin1Char(' '), 1);
    return QStringLiteral("The daily backup at the exit of %1 could not be written.")
               .arg(when.isValid() ? when.toString(QStringLiteral("MM/dd/yyyy hh:mm"))
                                   : QStringLiteral("an earlier session"))
           + QStringLiteral("\r\n\r\n") + reason;
}

} // namespace AutomaticBackup
