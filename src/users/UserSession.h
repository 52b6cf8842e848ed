#pragma once

#include <stdexcept>

#include <QDateTime>
#include <QString>

#include "shell/AppState.h"

class Connection;

// The current user and the user log. These report nothing themselves: a
// database failure throws DbError to the caller's error trap.

// The user log's own text forms: "MM/dd/yyyy" and "hh:mm:ss am/pm".
QString logDateText(const QDateTime &when);
QString logTimeText(const QDateTime &when);

// Looks up the account whose stored name is exactly E(userName), letter case
// included, and fills account (CurrentUser stays as it is). False when none.
bool FindUserByName(Connection &db, const QString &userName, UserRecord &account);

// The sign-in check: a typed password, counted against the account's lock.
inline constexpr int kWrongPasswordsBeforeLock = 5;
inline constexpr int kLockMinutes = 15;

enum class SignInOutcome { SignedIn, NoSuchAccount, WrongPassword, Locked };

struct SignInCheck
{
    SignInOutcome outcome = SignInOutcome::NoSuchAccount;
    UserRecord account;    // the account tried; empty for NoSuchAccount
    QDateTime lockedUntil; // this desk's local time, when Locked
};

// Checks the typed password of the account named userName. While the account
// is locked every password is refused; a wrong one counts, and the fifth in a
// row locks the account for kLockMinutes at every workstation. Each wrong
// password and each lock adds a trail row that names nobody; a name that
// matches no account is stored nowhere. A right one clears the count. Never
// fills CurrentUser: the caller signs the account in.
SignInCheck checkPassword(AppState &state, const QString &userName, const QString &password);
// The same for the account with this id (an idle desk's signed-in user).
SignInCheck checkPasswordOf(AppState &state, qint32 userId, const QString &password);

// "Too many wrong passwords for <name>. Try again after <hh:mm>."
QString lockedMessage(const QString &userName, const QDateTime &until);

// The database's clock in UTC: the server's on a server, this desk's on a file.
QDateTime databaseNowUtc(Connection &db);

// Refuses (LastAdministrator) when no Administrator account other than userId
// exists. Run it inside the write transaction of the change that would take
// userId's privilege away, so two workstations cannot remove the last two.
void requireAnotherAdministrator(Connection &db, qint32 userId);

// The privilege the account holds in the database now, plain; "" when the
// account is gone.
QString storedPrivilege(Connection &db, qint32 userId);

// True when someone is signed in and the database says, now, that the account
// is an Administrator's: a demotion or deletion at another workstation counts
// at once. Keeps CurrentUser.Privilege as the database has it.
bool currentUserIsAdministrator(AppState &state);

// The same, and otherwise shows "Only an administrator can <deed>." titled
// "Administrator Required".
bool requireAdministrator(AppState &state, const QString &deed);

class LastAdministrator : public std::runtime_error
{
public:
    LastAdministrator();
};
inline QString lastAdministratorMessage()
{
    return QStringLiteral("There must be at least one Administrator account.");
}

// "Save Password": this desk remembers an account by a random token, kept for
// this operating-system user in a file only that user can read; the database
// keeps the token's hash, the workstation and a digest of the password. A new
// password, a deleted account or an administrator's clearing ends it.
QString rememberedSignInsFile(const AppState &state);
// True when this desk holds a token for the account that the database accepts.
bool deskRemembers(AppState &state, qint32 userId);
// A new token for the account at this desk, in place of its old one.
void rememberDesk(AppState &state, qint32 userId);
// This desk forgets the account (file and database).
void forgetDesk(AppState &state, qint32 userId);
// Signs in by this desk's token: SignedIn, Locked, or WrongPassword when the
// token no longer holds. Never counts as a typed password.
SignInCheck checkRememberedDesk(AppState &state, const QString &userName);
// The number of desks that remember the account.
int rememberedDeskCount(Connection &db, qint32 userId);

// What an account's own removal or a new password ends: its lock and, with
// withDesks, the sign-ins desks remember for it.
void clearSignInState(Connection &db, qint32 userId, bool withDesks);

// Appends the log row of this sign-in from CurrentUser: LogID is the highest
// one plus 1 (1 for an empty log). Remembers the row in OwnLogID. Throws when
// the highest LogID is already the largest 32-bit number.
void LogTimeIn(AppState &state, const QDateTime &now = QDateTime::currentDateTime());

// Writes the time out into this run's own log row; writes nothing when this
// run has none.
void LogTimeOut(AppState &state, const QDateTime &now = QDateTime::currentDateTime());

// True when the Users table holds at least one account with the privilege
// "Administrator".
bool administratorExists(Connection &db);

// Writes "users.lst" beside the database: E("Administrator") and CR LF, so it
// marks that the setup was done and holds nothing of any account. A marker
// that cannot be written is no error (start-up finds the administrator again
// next time). Only its owner may read it.
void writeAdministratorMarker(AppState &state);
// An older marker that holds a password is written again without it.
void scrubAdministratorMarker(AppState &state);
