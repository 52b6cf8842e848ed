#pragma once

#include <QString>

// The credential cipher (module modEncryption): a small reversible, chained
// character cipher. Every caller passes the same key and seed, so the same
// clear text always gives the same stored text and look-ups can compare it.
// It works on the UTF-8 bytes of the text, so every name round-trips; for
// ASCII text that is exactly the single-byte code.
QString Cipher(const QString &mode, const QString &key, const QString &text, double seed);

constexpr double kCipherSeed = 0.4375;
inline QString cipherKey() { return QStringLiteral("K"); }

// E(x) and D(x) with the program's fixed key and seed.
QString E(const QString &text);
QString D(const QString &text);
