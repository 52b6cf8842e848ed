#pragma once

#include <vector>

#include <QString>

#include "data/AuditCheck.h"

class AppState;

// The copies of the trail's newest seal that live outside the database: in
// this workstation's settings (written at every exit) and beside every backup
// ("<backup>.seal"). Each names the database it belongs to, so a desk that
// changes databases never holds one trail against another's seal.
namespace AuditAnchors {

// "<backup>.seal"
QString sealFileFor(const QString &backup);

// Writes the backup's newest trail row beside it; the database is the one the
// backup was taken of. Throws std::runtime_error when it cannot be written.
void writeBeside(const QString &backup, const QString &password, const QString &database);

// Keeps the newest row of the open trail in this workstation's settings.
void remember(AppState &state);

// Every anchor this workstation knows for its configured database.
std::vector<Audit::Anchor> known(AppState &state);

// Checks the configured database's trail (open on state.db()) against them.
Audit::CheckReport checkTrail(AppState &state);

// "--check-audit-trail": opens the configured database, checks its trail and
// puts what it found into output. Returns the exit code: 0 when the trail is
// whole, 1 when it is not, 2 when the database could not be read.
int checkConfigured(AppState &state, QString &output);

} // namespace AuditAnchors
