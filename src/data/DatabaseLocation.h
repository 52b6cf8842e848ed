#pragma once

#include <QString>

// Where a "Database File" setting points, as far as its password is concerned:
// a stored password belongs to one location and goes nowhere else.

// True when both settings name the same database: the same file, or server
// addresses that agree in every parameter libpq reads from them (host,
// hostaddr, port, dbname, user, sslmode and the rest). An address that libpq
// cannot read is no location at all.
bool sameDatabaseLocation(const QString &a, const QString &b);

// True when a server address carries a password of its own
// (user:secret@host or password=...).
bool addressHoldsPassword(const QString &address);
