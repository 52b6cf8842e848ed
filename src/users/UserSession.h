#pragma once

#include <QDateTime>
#include <QString>

class AppState;
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
