#include "users/UserSession.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "data/Audit.h"
#include "data/Cipher.h"
#include "data/Credentials.h"
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

const QString kAdministrator = QStringLiteral("Administrator");

void fillAccount(const Recordset &rs, UserRecord &account)
{
    account.UserID = qint32(sqlId(rs.Value(QStringLiteral("UserID"))).toLongLong());
    account.UserName = D(rs.Text(QStringLiteral("UserName")));
    account.Privilege = D(rs.Text(QStringLiteral("Privilege")));
}

// The account's row of SignInLocks as the clock of the database sees it.
struct LockState
{
    bool stored = false;
    int failures = 0;
    QDateTime until; // UTC; invalid when not locked
    qint64 remainingMs = 0;
    bool clamped = false; // the stored end lay more than a lock's length ahead
};

LockState readLock(Connection &db, qint32 userId, const QDateTime &nowUtc)
{
    LockState lock;
    Recordset rs;
    rs.Open(QStringLiteral("select FailedPasswords, LockedUntil from SignInLocks where UserID=")
                + QString::number(userId),
            db, adOpenStatic, adLockReadOnly);
    if (rs.isEOF())
        return lock;
    lock.stored = true;
    lock.failures = rs.Value(0).toInt();
    QDateTime until = QDateTime::fromString(rs.Text(QStringLiteral("LockedUntil")), Qt::ISODate);
    if (!until.isValid())
        return lock;
    until.setTimeSpec(Qt::UTC);
    lock.remainingMs = nowUtc.msecsTo(until);
    // A clock that ran ahead where the lock was set cannot lock for longer.
    const qint64 longest = qint64(kLockMinutes) * 60 * 1000;
    if (lock.remainingMs > longest) {
        lock.remainingMs = longest;
        lock.clamped = true;
        until = nowUtc.addMSecs(longest);
    }
    if (lock.remainingMs > 0)
        lock.until = until;
    return lock;
}

void writeLock(Connection &db, qint32 userId, int failures, const QDateTime &untilUtc)
{
    const QString id = QString::number(userId);
    db.Execute(QStringLiteral("delete from SignInLocks where UserID=") + id);
    db.Execute(QStringLiteral("insert into SignInLocks (UserID, FailedPasswords, LockedUntil) "
                              "values (%1, %2, %3)")
                   .arg(id)
                   .arg(failures)
                   .arg(untilUtc.isValid()
                            ? QStringLiteral("'%1'").arg(untilUtc.toString(Qt::ISODate))
                            : QStringLiteral("null")));
}

QDateTime shownEnd(const LockState &lock)
{
    // In this desk's own time, however far its clock is from the database's.
    return QDateTime::currentDateTime().addMSecs(lock.remainingMs);
}

SignInCheck checkAccount(AppState &state, const QString &where, const QString &password)
{
    Connection &db = state.db();
    SignInCheck result;
    QString stored;
    {
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM Users where ") + where, db, adOpenStatic,
                adLockReadOnly);
        if (rs.isEOF())
            return result;
        fillAccount(rs, result.account);
        stored = rs.Text(QStringLiteral("Password"));
    }
    const qint32 id = result.account.UserID;
    // A locked account costs no hash, and says nothing about the password.
    LockState lock = readLock(db, id, databaseNowUtc(db));
    if (lock.until.isValid() && !lock.clamped) {
        result.outcome = SignInOutcome::Locked;
        result.lockedUntil = shownEnd(lock);
        return result;
    }
    // The slow check runs before the write lock is taken.
    const bool matches = Credentials::check(stored, password) == Credentials::Match::Yes;
    const QString upgraded =
        matches && !Credentials::isHash(stored) ? Credentials::hashPassword(password) : QString();

    Transaction transaction(db);
    const QDateTime now = databaseNowUtc(db);
    lock = readLock(db, id, now);
    if (lock.clamped)
        writeLock(db, id, lock.failures, lock.until);
    if (lock.until.isValid()) {
        transaction.commit();
        result.outcome = SignInOutcome::Locked;
        result.lockedUntil = shownEnd(lock);
        return result;
    }
    if (matches) {
        if (lock.stored)
            db.Execute(QStringLiteral("delete from SignInLocks where UserID=")
                       + QString::number(id));
        if (!upgraded.isEmpty()) {
            // The value an older version wrote goes, unless it changed meanwhile.
            Recordset rs;
            rs.Open(QStringLiteral("select * from Users where UserID=") + QString::number(id), db);
            if (!rs.isEOF() && rs.Text(QStringLiteral("Password")) == stored) {
                rs.setValue(QStringLiteral("Password"), upgraded);
                rs.UpdateBatch();
            }
        }
        transaction.commit();
        result.outcome = SignInOutcome::SignedIn;
        return result;
    }
    const int failures = lock.failures + 1;
    Audit::Entry wrong{QStringLiteral("Wrong Password"), QStringLiteral("Users"), id, QVariant(),
                       QStringLiteral("Wrong passwords in a row: %1").arg(failures)};
    wrong.anonymous = true;
    Audit::add(db, wrong);
    if (failures < kWrongPasswordsBeforeLock) {
        writeLock(db, id, failures, QDateTime());
        transaction.commit();
        result.outcome = SignInOutcome::WrongPassword;
        return result;
    }
    // The count starts again once the lock is over.
    const QDateTime until = now.addSecs(qint64(kLockMinutes) * 60);
    writeLock(db, id, 0, until);
    Audit::Entry locked{QStringLiteral("Account Locked"), QStringLiteral("Users"), id,
                        QVariant(),
                        QStringLiteral("Locked until %1 (UTC)").arg(until.toString(Qt::ISODate))};
    locked.anonymous = true;
    Audit::add(db, locked);
    transaction.commit();
    result.outcome = SignInOutcome::Locked;
    lock.remainingMs = qint64(kLockMinutes) * 60 * 1000;
    result.lockedUntil = shownEnd(lock);
    return result;
}

// Where the database is, as the token file names it without saying it.
QString databaseKey(const AppState &state)
{
    return Credentials::tokenHash(state.databaseFile().toUtf8());
}

struct TokenLine
{
    QString database;
    qint32 userId = 0;
    QByteArray token;
};

std::vector<TokenLine> readTokens(const AppState &state)
{
    std::vector<TokenLine> lines;
    QFile file(rememberedSignInsFile(state));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QList<QByteArray> parts = raw.trimmed().split(' ');
        if (parts.size() != 3)
            continue;
        bool number = false;
        const qint32 id = parts[1].toInt(&number);
        const QByteArray token = QByteArray::fromHex(parts[2]);
        if (number && token.size() == 32)
            lines.push_back({QString::fromLatin1(parts[0]), id, token});
    }
    return lines;
}

void writeTokens(const AppState &state, const std::vector<TokenLine> &lines)
{
    const QString path = rememberedSignInsFile(state);
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
    // Only this user may read it, from its first byte on.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    for (const TokenLine &line : lines)
        file.write(line.database.toLatin1() + ' ' + QByteArray::number(line.userId) + ' '
                   + line.token.toHex() + '\n');
    if (!file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

QByteArray tokenFor(const AppState &state, qint32 userId)
{
    const QString database = databaseKey(state);
    for (const TokenLine &line : readTokens(state)) {
        if (line.database == database && line.userId == userId)
            return line.token;
    }
    return QByteArray();
}

void dropToken(const AppState &state, qint32 userId)
{
    const QString database = databaseKey(state);
    std::vector<TokenLine> lines = readTokens(state);
    const auto size = lines.size();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const TokenLine &l) {
                                   return l.database == database && l.userId == userId;
                               }),
                lines.end());
    if (lines.size() != size)
        writeTokens(state, lines);
}

// True when the database holds this desk's token for the account, made under
// the password the account has now.
bool tokenHolds(AppState &state, qint32 userId, const QByteArray &token)
{
    if (token.isEmpty())
        return false;
    Connection &db = state.db();
    Recordset account;
    account.Open(QStringLiteral("select Password from Users where UserID=")
                     + QString::number(userId),
                 db, adOpenStatic, adLockReadOnly);
    if (account.isEOF())
        return false;
    const QString stamp = Credentials::passwordStamp(account.Text(QStringLiteral("Password")));
    // The hash is hexadecimal, so the text is safe in quotes.
    Recordset rs;
    rs.Open(QStringLiteral("select Workstation, PasswordStamp from RememberedDesks where UserID=")
                + QString::number(userId) + QStringLiteral(" and TokenHash='")
                + Credentials::tokenHash(token) + QStringLiteral("'"),
            db, adOpenStatic, adLockReadOnly);
    for (; !rs.isEOF(); rs.MoveNext()) {
        if (rs.Text(QStringLiteral("Workstation")) == db.who().workstation
            && rs.Text(QStringLiteral("PasswordStamp")) == stamp)
            return true;
    }
    return false;
}

void deleteDeskRow(Connection &db, qint32 userId, const QByteArray &token)
{
    db.Execute(QStringLiteral("delete from RememberedDesks where UserID=")
               + QString::number(userId) + QStringLiteral(" and TokenHash='")
               + Credentials::tokenHash(token) + QStringLiteral("'"));
}

} // namespace

QString rememberedSignInsFile(const AppState &state)
{
    return state.userDataFolder() + nativeSeparator() + QStringLiteral("signins.key");
}

bool deskRemembers(AppState &state, qint32 userId)
{
    return tokenHolds(state, userId, tokenFor(state, userId));
}

void rememberDesk(AppState &state, qint32 userId)
{
    Connection &db = state.db();
    const QByteArray old = tokenFor(state, userId);
    const QByteArray token = Credentials::newToken();
    {
        Transaction transaction(db);
        if (!old.isEmpty())
            deleteDeskRow(db, userId, old);
        Recordset account;
        account.Open(QStringLiteral("select Password from Users where UserID=")
                         + QString::number(userId),
                     db, adOpenStatic, adLockReadOnly);
        if (account.isEOF())
            return;
        Recordset next;
        next.Open(QStringLiteral("select max(DeskID) from RememberedDesks"), db, adOpenStatic,
                  adLockReadOnly);
        Recordset rs;
        rs.Open(QStringLiteral("select * from RememberedDesks where DeskID = -1"), db);
        rs.AddNew();
        rs.setValue(QStringLiteral("DeskID"), next.Value(0).toLongLong() + 1);
        rs.setValue(QStringLiteral("UserID"), userId);
        rs.setValue(QStringLiteral("Workstation"), db.who().workstation);
        rs.setValue(QStringLiteral("TokenHash"), Credentials::tokenHash(token));
        rs.setValue(QStringLiteral("PasswordStamp"),
                    Credentials::passwordStamp(account.Text(QStringLiteral("Password"))));
        rs.setValue(QStringLiteral("SavedOn"),
                    QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        rs.Update();
        transaction.commit();
    }
    const QString database = databaseKey(state);
    std::vector<TokenLine> lines = readTokens(state);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const TokenLine &l) {
                                   return l.database == database && l.userId == userId;
                               }),
                lines.end());
    lines.push_back({database, userId, token});
    writeTokens(state, lines);
}

void forgetDesk(AppState &state, qint32 userId)
{
    const QByteArray token = tokenFor(state, userId);
    if (token.isEmpty())
        return;
    deleteDeskRow(state.db(), userId, token);
    dropToken(state, userId);
}

SignInCheck checkRememberedDesk(AppState &state, const QString &userName)
{
    Connection &db = state.db();
    SignInCheck result;
    if (!FindUserByName(db, userName, result.account))
        return result;
    const qint32 id = result.account.UserID;
    Transaction transaction(db);
    const LockState lock = readLock(db, id, databaseNowUtc(db));
    if (lock.until.isValid()) {
        result.outcome = SignInOutcome::Locked;
        result.lockedUntil = shownEnd(lock);
        return result;
    }
    if (!tokenHolds(state, id, tokenFor(state, id))) {
        result.outcome = SignInOutcome::WrongPassword;
        return result;
    }
    if (lock.stored)
        db.Execute(QStringLiteral("delete from SignInLocks where UserID=") + QString::number(id));
    transaction.commit();
    result.outcome = SignInOutcome::SignedIn;
    return result;
}

int rememberedDeskCount(Connection &db, qint32 userId)
{
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from RememberedDesks where UserID=")
                + QString::number(userId),
            db, adOpenStatic, adLockReadOnly);
    return rs.Value(0).toInt();
}

bool FindUserByName(Connection &db, const QString &userName, UserRecord &account)
{
    // E() gives only hexadecimal digits and blanks, so the text is safe in quotes.
    Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM Users where StrComp(UserName, '") + E(userName)
                + QStringLiteral("', 0) = 0"),
            db, adOpenStatic, adLockReadOnly);
    if (rs.isEOF())
        return false;
    fillAccount(rs, account);
    return true;
}

SignInCheck checkPassword(AppState &state, const QString &userName, const QString &password)
{
    return checkAccount(state,
                        QStringLiteral("StrComp(UserName, '") + E(userName)
                            + QStringLiteral("', 0) = 0"),
                        password);
}

SignInCheck checkPasswordOf(AppState &state, qint32 userId, const QString &password)
{
    return checkAccount(state, QStringLiteral("UserID=") + QString::number(userId), password);
}

QString lockedMessage(const QString &userName, const QDateTime &until)
{
    // The minute named is one at which the lock is over, the same at every try.
    QDateTime shown = until.toLocalTime();
    const QTime time = shown.time();
    if (time.second() != 0 || time.msec() != 0)
        shown = shown.addMSecs(60000 - (time.second() * 1000 + time.msec()));
    return QStringLiteral("Too many wrong passwords for %1. Try again after %2.")
        .arg(userName, shown.toString(QStringLiteral("hh:mm")));
}

QDateTime databaseNowUtc(Connection &db)
{
    if (!db.engine().isServer())
        return QDateTime::currentDateTimeUtc();
    Recordset rs;
    rs.Open(QStringLiteral("select extract(epoch from now())"), db, adOpenStatic,
            adLockReadOnly);
    const double seconds = rs.Value(0).toDouble();
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), Qt::UTC);
}

LastAdministrator::LastAdministrator()
    : std::runtime_error(lastAdministratorMessage().toStdString())
{
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
    return privilege == kAdministrator;
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

void requireAnotherAdministrator(Connection &db, qint32 userId)
{
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from Users where Privilege = '") + E(kAdministrator)
                + QStringLiteral("' and UserID <> ") + QString::number(userId),
            db, adOpenStatic, adLockReadOnly);
    if (rs.Value(0).toLongLong() == 0)
        throw LastAdministrator();
}

void clearSignInState(Connection &db, qint32 userId, bool withDesks)
{
    const QString id = QString::number(userId);
    db.Execute(QStringLiteral("delete from SignInLocks where UserID=") + id);
    if (withDesks)
        db.Execute(QStringLiteral("delete from RememberedDesks where UserID=") + id);
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
    QString content = E(kAdministrator);
    ReadWriteTextFile(state.markerPath(), content, 2);
    PrivateFiles::shareLikeDatabase(state.markerPath(), state.databaseFile());
}

void scrubAdministratorMarker(AppState &state)
{
    if (isServerUri(state.databaseFile()))
        return;
    QString content;
    if (ReadWriteTextFile(state.markerPath(), content, 1) != 0)
        return;
    // The older form: E(name) | E(password) | E("Administrator").
    if (content.trimmed() != E(kAdministrator))
        writeAdministratorMarker(state);
}
