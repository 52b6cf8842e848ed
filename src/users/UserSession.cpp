#include "users/UserSession.h"

#include <limits>

#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/AppState.h"
#include "shell/PrivateFiles.h"
#include "shell/Prompter.h"
#include "shell/modMain.h"

QString logDateText(const QDateTime &when)
{
    return when.toString(QStringLiteral("MM/dd/yyyy"));
}

QString logTimeText(const QDateTime &when)
{
    // "ap" is the lower-case am/pm of the C locale, so the text is the same
    // on every workstation.
    return when.toString(QStringLiteral("hh:mm:ss ap"));
}

namespace {

std::optional<UserRecord> accountNamed(Connection &db, const QString &userName)
{
    // E() gives only hexadecimal digits and blanks, so the text is safe in quotes.
    Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM Users where StrComp(UserName, '") + E(userName)
                + QStringLiteral("', 0) = 0"),
            db);
    if (rs.isEOF())
        return std::nullopt;
    UserRecord user;
    user.UserID = qint32(sqlId(rs.Value(QStringLiteral("UserID"))).toLongLong());
    user.UserName = D(rs.Text(QStringLiteral("UserName")));
    user.Password = D(rs.Text(QStringLiteral("Password")));
    user.Privilege = D(rs.Text(QStringLiteral("Privilege")));
    return user;
}

} // namespace

bool FindUserByName(AppState &state, const QString &userName)
{
    const std::optional<UserRecord> user = accountNamed(state.db(), userName);
    if (!user)
        return false;
    state.CurrentUser = *user;
    return true;
}

std::optional<UserRecord> checkTypedCredentials(AppState &state, const QString &userName,
                                                const QString &password)
{
    if (userName.isEmpty() || password.isEmpty())
        return std::nullopt;
    std::optional<UserRecord> user = accountNamed(state.db(), userName);
    if (!user || user->Password != password)
        return std::nullopt;
    return user;
}

QString storedPrivilege(Connection &db, qint32 userId)
{
    Recordset rs;
    rs.Open(QStringLiteral("select Privilege from Users where UserID=") + sqlId(userId), db,
            adOpenStatic, adLockReadOnly);
    return rs.isEOF() ? QString() : D(rs.Text(QStringLiteral("Privilege")));
}

bool currentUserIsAdministrator(AppState &state)
{
    if (state.CurrentUser.UserID <= 0)
        return false;
    const QString privilege = storedPrivilege(state.db(), state.CurrentUser.UserID);
    state.CurrentUser.Privilege = privilege;
    return privilege == QLatin1String("Administrator");
}

bool requireAdministrator(AppState &state, const QString &deed)
{
    QString text = QStringLiteral("Only an administrator can %1.").arg(deed);
    try {
        if (currentUserIsAdministrator(state))
            return true;
    } catch (const DbError &e) {
        // A right that cannot be read is not granted.
        text += QStringLiteral("\r\n\r\nThe accounts could not be read: ") + e.description();
    }
    state.prompter().message(text, QStringLiteral("Administrator Required"),
                             MsgIcon::Exclamation, MsgButtons::OK);
    return false;
}

void LogTimeIn(AppState &state, const QDateTime &now)
{
    // Reading the last number and adding the row happen under one write lock,
    // so two workstations signing in at once cannot pick the same LogID.
    Transaction transaction(state.db());
    Recordset rs;
    rs.Open(QStringLiteral("Select * from UserLog order by LogID"), state.db(), adOpenStatic,
            adLockOptimistic);
    qint64 logId = 1;
    if (!rs.isEOF()) {
        rs.MoveLast();
        logId = rs.Value(QStringLiteral("LogID")).toLongLong() + 1;
    }
    if (logId > std::numeric_limits<qint32>::max())
        throw DbError(6, QStringLiteral("Overflow"));
    rs.AddNew();
    rs.setValue(QStringLiteral("LogID"), logId);
    rs.setValue(QStringLiteral("UserName"), state.CurrentUser.UserName);
    rs.setValue(QStringLiteral("Privilege"), state.CurrentUser.Privilege);
    rs.setValue(QStringLiteral("LogDate"), logDateText(now));
    rs.setValue(QStringLiteral("TimeIn"), logTimeText(now));
    rs.UpdateBatch();
    rs.Close();
    transaction.commit();
    state.OwnLogID = qint32(logId);
}

void LogTimeOut(AppState &state, const QDateTime &now)
{
    // Only our own row: on a shared database the newest row may belong to
    // another workstation. Without a row of our own (or if it is gone) there
    // is nothing to close.
    if (state.OwnLogID <= 0)
        return;
    Recordset rs;
    rs.Open(QStringLiteral("Select * from UserLog where LogID=") + QString::number(state.OwnLogID),
            state.db());
    if (!rs.isEOF()) {
        rs.setValue(QStringLiteral("TimeOut"), logTimeText(now));
        rs.UpdateBatch();
    }
    rs.Close();
}

bool administratorExists(Connection &db)
{
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from Users where Privilege = '")
                + E(QStringLiteral("Administrator")) + QStringLiteral("'"),
            db, adOpenStatic, adLockReadOnly);
    return rs.Value(0).toLongLong() > 0;
}

void writeAdministratorMarker(AppState &state)
{
    // A server database has no folder of its own for the marker.
    if (isServerUri(state.databaseFile()))
        return;
    QString content = E(QStringLiteral("Administrator"));
    ReadWriteTextFile(state.markerPath(), content, 2);
    PrivateFiles::shareLikeDatabase(state.markerPath(), state.databaseFile());
}
