#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "data/Audit.h"

class Connection;

// The check of the audit trail: every sealed row against its fields and the
// row before it, and the trail against the seals seen outside the database
// (anchors), since whoever holds the database password can recompute a
// chain but not the copies of its seal kept elsewhere.
namespace Audit {

// A row's seal as seen at some time outside the database: by a workstation at
// its exit, in a backup beside it.
struct Anchor
{
    qint64 id = 0;
    QString seal;
    QString eventDate; // the row's EventDate, for the message
    QString source;    // where it was kept
};

struct CheckReport
{
    bool whole = true;
    qint64 rows = 0;     // every row
    qint64 unsealed = 0; // older rows, written before rows were sealed
    QString firstDate;   // of the first and the newest row (EventDate, UTC)
    QString lastDate;
    Stored newest;
    QStringList lines; // what the check found, one finding a line

    QString text() const { return lines.join(QLatin1Char('\n')); }
};

// Reads the whole trail once; throws DbError when it cannot be read.
CheckReport check(Connection &db, const std::vector<Anchor> &anchors = {});

// "Row <id> of <date> ..." texts show times in the workstation's own zone.
QString shownDate(const QString &eventDate);

// The anchor of the newest row as text and back: "<id> <seal> <EventDate>".
QString anchorText(const Stored &row);
bool parseAnchor(const QString &text, Anchor &anchor);

} // namespace Audit
