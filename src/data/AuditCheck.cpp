#include "data/AuditCheck.h"

#include <map>
#include <set>

#include <QDateTime>

#include "data/Connection.h"

namespace Audit {
namespace {

// More breaks than this are counted, not listed one by one.
constexpr int kListedBreaks = 10;

QString shownDay(const QString &eventDate)
{
    const QDateTime when = QDateTime::fromString(eventDate, Qt::ISODate);
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) : eventDate;
}

} // namespace

QString shownDate(const QString &eventDate)
{
    const QDateTime when = QDateTime::fromString(eventDate, Qt::ISODate);
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : eventDate;
}

QString anchorText(const Stored &row)
{
    return QStringLiteral("%1 %2 %3").arg(row.id).arg(row.seal, row.eventDate);
}

bool parseAnchor(const QString &text, Anchor &anchor)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return false;
    bool number = false;
    const qint64 id = parts.at(0).toLongLong(&number);
    if (!number || id <= 0 || parts.at(1).size() != 64)
        return false;
    anchor.id = id;
    anchor.seal = parts.at(1).toLower();
    anchor.eventDate = parts.at(2);
    return true;
}

CheckReport check(Connection &db, const std::vector<Anchor> &anchors)
{
    CheckReport report;
    std::map<qint64, QString> sealsAt; // the anchored ids, with the seal they carry now
    std::set<QString> anchorSeals;
    for (const Anchor &a : anchors) {
        sealsAt[a.id];
        anchorSeals.insert(a.seal);
    }
    std::set<QString> carried; // anchored seals that a restore carried over
    QString previous;
    bool sealedYet = false;
    qint64 sealed = 0;
    int breaks = 0;
    QStringList found;
    QString firstSealed;
    forEachRow(db, [&](const Stored &row) {
        ++report.rows;
        report.newest = row;
        if (report.firstDate.isEmpty())
            report.firstDate = row.eventDate;
        report.lastDate = row.eventDate;
        const auto at = sealsAt.find(row.id);
        if (at != sealsAt.end())
            at->second = row.seal;
        if (!row.originalSeal.isEmpty() && anchorSeals.count(row.originalSeal))
            carried.insert(row.originalSeal);
        if (row.seal.isEmpty() && !sealedYet) {
            ++report.unsealed;
            return true;
        }
        if (firstSealed.isEmpty())
            firstSealed = row.eventDate;
        sealedYet = true;
        ++sealed;
        // A new row is sealed to its predecessor as it stands, so one change
        // shows at its own row and not at every row after it.
        if (row.seal.isEmpty() || sealOf(previous, row) != row.seal) {
            if (++breaks <= kListedBreaks)
                found << QStringLiteral("Row %1 of %2 was changed, or a row before it was "
                                        "removed, after it was written.")
                             .arg(row.id)
                             .arg(shownDate(row.eventDate));
        }
        previous = row.seal;
        return true;
    });
    if (breaks > kListedBreaks)
        found << QStringLiteral("%1 more rows do not check.").arg(breaks - kListedBreaks);
    for (const Anchor &a : anchors) {
        if (sealsAt[a.id] == a.seal || carried.count(a.seal))
            continue;
        found << QStringLiteral("The audit trail was rewritten after %1: row %2 no longer "
                                "carries the seal this workstation saw.")
                     .arg(shownDate(a.eventDate))
                     .arg(a.id);
    }
    report.whole = found.isEmpty();
    if (report.whole) {
        report.lines << (sealed == 0 ? QStringLiteral("The audit trail is whole: 0 rows.")
                                     : QStringLiteral("The audit trail is whole: %1 rows from %2 "
                                                      "to %3.")
                                           .arg(sealed)
                                           .arg(shownDay(firstSealed), shownDay(report.lastDate)));
    }
    report.lines << found;
    if (report.unsealed > 0)
        report.lines << QStringLiteral("%1 older rows carry no seal.").arg(report.unsealed);
    if (report.newest.id > 0 && !report.newest.seal.isEmpty())
        report.lines << QStringLiteral("Newest seal: row %1 of %2: %3")
                            .arg(report.newest.id)
                            .arg(shownDate(report.newest.eventDate), report.newest.seal);
    return report;
}

} // namespace Audit
