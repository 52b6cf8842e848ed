#pragma once

#include <QByteArray>
#include <QString>

class Connection;

// How account passwords are kept: Argon2id hashes (libsodium), never a form
// that can be turned back into the password. Older databases held the
// password enciphered; those values are recognised and replaced.
namespace Credentials {

// A new salted hash of the password (its UTF-8 bytes) at the library's
// interactive limits. Throws std::runtime_error when the library cannot
// allocate its memory.
QString hashPassword(const QString &password);

// True when stored is a hash this program writes.
bool isHash(const QString &stored);
// True when stored has the layout of the old credential cipher.
bool isEnciphered(const QString &stored);

enum class Match { Yes, No };
// Checks a typed password against a stored value: a hash, or an older
// enciphered value. Anything else matches no password.
Match check(const QString &stored, const QString &typed);

// Replaces every enciphered password in Users by its hash, in one
// transaction; a value another workstation changed meanwhile is left to the
// next open. Returns the number of accounts upgraded.
int upgradeStoredPasswords(Connection &db);

// 32 random bytes for a remembered sign-in.
QByteArray newToken();
// The token as the database keeps it: hexadecimal BLAKE2b-256.
QString tokenHash(const QByteArray &token);
// A digest of a stored password value: a remembered sign-in made under one
// password stops working once the value changes.
QString passwordStamp(const QString &stored);

} // namespace Credentials
