#include "shell/SystemModule.h"

#include <QDir>
#include <QLockFile>

#include "data/Credentials.h"
#include "data/DbError.h"
#include "data/Schema.h"
#include "shell/AppState.h"
#include "shell/ErrorTrap.h"
#include "shell/PrivateFiles.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/modMain.h"

namespace SystemModule {

void CopyBlankDB(AppState &state)
{
    Steps step(state.prompter(), QStringLiteral("SystemModule"), QStringLiteral("CopyBlankDB"));
    const QChar sep = nativeSeparator();
    const QString program = state.folders().program;
    step([&] {
        if (!IsFolder(state.makerFolder()) && !QDir().mkpath(state.makerFolder()))
            throw std::runtime_error(
                QStringLiteral("Path not found: %1").arg(state.makerFolder()).toStdString());
    });
    step([&] {
        if (!IsFolder(state.userDataFolder()) && !QDir().mkpath(state.userDataFolder()))
            throw std::runtime_error(
                QStringLiteral("Path not found: %1").arg(state.userDataFolder()).toStdString());
    });
    step([&] {
        if (FileExists(state.defaultDatabase()))
            return;
        const QString withContent = program + sep + QStringLiteral("MedicalRecord.mdb");
        const QString blank = program + sep + QStringLiteral("dbBlank.mdb");
        if (FileExists(withContent))
            CopyFiles(withContent, state.defaultDatabase());
        else if (FileExists(blank))
            CopyFiles(blank, state.defaultDatabase());
        PrivateFiles::makePrivate(state.defaultDatabase());
    });
    step([&] {
        const QString shipped = program + sep + QStringLiteral("users.lst");
        if (!isServerUri(state.databaseFile()) && !FileExists(state.markerPath())
            && FileExists(shipped))
            CopyFiles(shipped, state.userDataFolder() + sep + QStringLiteral("users.lst"));
    });
}

QStringList makeUserFilesPrivate(AppState &state)
{
    // The data folder's parent is the maker's, ours too; nothing above it is.
    QStringList left;
    if (IsFolder(state.makerFolder()) && !PrivateFiles::makePrivate(state.makerFolder()))
        left << QDir::toNativeSeparators(state.makerFolder());
    left << PrivateFiles::makeTreePrivate(state.userDataFolder());
    left << state.settings().makePrivate();
    return left;
}

void connect(AppState &state)
{
    Steps step(state.prompter(), QStringLiteral("SystemModule"), QStringLiteral("connect"));
    step([&] { state.db().Close(); });
    step([&] { state.db().Open(state.databaseFile(), state.databasePassword()); });
    step([&] { prepareSchema(state); });
}

void prepareSchema(AppState &state)
{
    Connection &db = state.db();
    if (!db.State())
        return;
    // On a server the tables and their upgrades are the owner's: a workstation
    // whose role is not the owner never tries (the start and the location
    // window say whom to ask).
    if (db.engine().isServer() && !Schema::mayChangeSchema(db.engine()))
        return;
    const QStringList missing = Schema::missingTables(db);
    if (missing.size() == Schema::requiredTables().size() && db.engine().isServer()) {
        // A new, empty server database: the practice's first connection sets it up.
        const MsgAnswer answer = state.prompter().message(
            QStringLiteral("The database %1 has no Medlantis tables. Create them now?")
                .arg(db.engine().describe()),
            applicationTitle(), MsgIcon::Question, MsgButtons::YesNo);
        if (answer == MsgAnswer::Yes)
            Schema::createMissing(db);
        return;
    }
    if (!missing.isEmpty())
        throw DbError(3078, QStringLiteral("The database %1 lacks the Medlantis tables %2.")
                                .arg(db.engine().describe(), missing.join(QStringLiteral(", "))));
    // What later versions added to the schema, an older database gains now:
    // on a large practice, indexing its names takes a while.
    Prompter &prompter = state.prompter();
    const auto progress = [&prompter](const QString &name, int done, int total) {
        prompter.progress(QStringLiteral("Preparing the database for this version (%1)...")
                              .arg(name),
                          done, total);
    };
    try {
        Schema::createMissing(db, progress);
    } catch (...) {
        prompter.progress(QString(), 1, 1);
        throw;
    }
    // A password an older version stored can be read back: none stays so
    // until its owner next signs in.
    Credentials::upgradeStoredPasswords(db);
}

} // namespace SystemModule

namespace ODBCProvider {

bool CheckProvider(Prompter &prompter, const std::function<QString()> &probe)
{
    if (!probe().isEmpty())
        return true;
    const QString br = QStringLiteral("\r\n\r\n");
    const QString text =
        QStringLiteral("Error #3706: Provider cannot be found. It may not be properly installed.")
        + br + QStringLiteral("You are getting this error because:") + br
        + QStringLiteral("1. The SQLCipher database engine is not installed on your computer.") + br
        + QStringLiteral("2. A set of components to read and write encrypted databases is not "
                         "installed on your computer.")
        + br
        + QStringLiteral("You need to install the SQLCipher library (package libsqlcipher1) "
                         "to solve this problem.")
        + br + QStringLiteral("Would you like me to open the download site now so you can do this?")
        + br
        + QStringLiteral("(If you have any further questions please email a screenshot of this "
                         "error message to ")
        + supportAddress() + QStringLiteral(")");
    if (prompter.message(text, applicationTitle(), MsgIcon::None, MsgButtons::YesNo)
        == MsgAnswer::Yes) {
        prompter.openUrl(
            QStringLiteral("https://packages.debian.org/search?keywords=libsqlcipher"));
        prompter.openUrl(QStringLiteral("https://www.zetetic.net/sqlcipher/"));
    }
    return false;
}

} // namespace ODBCProvider

SingleInstance::SingleInstance(const QString &folder)
{
    QDir().mkpath(folder);
    m_lock = std::make_unique<QLockFile>(folder + QStringLiteral("/medlantis.lock"));
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    return m_lock->tryLock(0);
}
