#pragma once

#include <optional>

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
// included. On success fills CurrentUser (plain texts) and returns true;
// otherwise leaves CurrentUser as it was.
bool FindUserByName(AppState &state, const QString &userName);

// The account whose name and password were typed, as Login checks them; none
// when the name is unknown or the password differs. CurrentUser stays as it
// is: this is for a check on someone's behalf, not a sign-in.
std::optional<UserRecord> checkTypedCredentials(AppState &state, const QString &userName,
                                                const QString &password);

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

// Writes "users.lst" beside the database for an administrator that exists
// already: E("Administrator") and CR LF. A marker that cannot be written is no
// error (start-up finds the administrator again next time).
void writeAdministratorMarker(AppState &state);
