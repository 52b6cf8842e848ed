#include "maintenance/AuditTrailModel.h"

#include <stdexcept>

#include <QDateTime>
#include <QTimeZone>

#include "data/Connection.h"
#include "data/Recordset.h"
#include "shell/modMain.h"

namespace {

const char *const kHeadings[AuditTrailModel::ColumnCount] = {
    "Date", "User", "Workstation", "Action", "Table", "Record", "Patient"};

// The start of a local day as the trail stores times: ISO, UTC.
QString utcStart(const QDate &day)
{
    return QDateTime(day, QTime(0, 0)).toUTC().toString(Qt::ISODate);
}

} // namespace

QString AuditFilter::whereClause() const
{
    QStringList parts;
    const QString patient = patientId.trimmed();
    if (!patient.isEmpty()) {
        bool number = false;
        patient.toLongLong(&number);
        if (!number)
            throw std::invalid_argument("The patient id must be a number.");
        parts << QStringLiteral("PatientID=") + patient;
    }
    if (!userName.isEmpty())
        parts << QStringLiteral("UserName='") + sqlText(userName) + QLatin1Char('\'');
    if (from.isValid())
        parts << QStringLiteral("EventDate>='") + utcStart(from) + QLatin1Char('\'');
    if (to.isValid())
        parts << QStringLiteral("EventDate<'") + utcStart(to.addDays(1)) + QLatin1Char('\'');
    return parts.isEmpty() ? QString()
                           : QStringLiteral(" where ") + parts.join(QStringLiteral(" and "));
}

QString AuditTrailModel::exportSql(const AuditFilter &filter)
{
    return QStringLiteral("select EventDate as [Date], UserName as [User], Workstation, Action, "
                          "TableName as [Table], RecordID as [Record], PatientID as [Patient], "
                          "Changes from AuditTrail")
           + filter.whereClause() + QStringLiteral(" order by AuditID desc");
}

std::vector<AuditTrailModel::Line> AuditTrailModel::page(qint64 before) const
{
    QString where = m_where;
    if (before > 0)
        where += (where.isEmpty() ? QStringLiteral(" where ") : QStringLiteral(" and "))
                 + QStringLiteral("AuditID<") + QString::number(before);
    Recordset rs;
    rs.Open(QStringLiteral("select AuditID, EventDate, UserName, Workstation, Action, TableName, "
                           "RecordID, PatientID, Changes from AuditTrail")
                + where + QStringLiteral(" order by AuditID desc limit ")
                + QString::number(kPage),
            *m_db, adOpenStatic, adLockReadOnly);
    std::vector<Line> lines;
    for (; !rs.isEOF(); rs.MoveNext()) {
        Line line;
        line.id = rs.Value(0).toLongLong();
        // Shown in the workstation's own time; stored in UTC.
        const QDateTime when = QDateTime::fromString(rs.Text(QStringLiteral("EventDate")),
                                                     Qt::ISODate);
        line.texts[Date] = when.isValid()
                               ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               : rs.Text(QStringLiteral("EventDate"));
        line.texts[User] = rs.Text(QStringLiteral("UserName"));
        line.texts[Workstation] = rs.Text(QStringLiteral("Workstation"));
        line.texts[Action] = rs.Text(QStringLiteral("Action"));
        line.texts[Table] = rs.Text(QStringLiteral("TableName"));
        line.texts[Record] = rs.Text(QStringLiteral("RecordID"));
        line.texts[Patient] = rs.Text(QStringLiteral("PatientID"));
        line.changes = rs.Text(QStringLiteral("Changes"));
        lines.push_back(std::move(line));
    }
    return lines;
}

void AuditTrailModel::load(Connection &db, const AuditFilter &filter)
{
    const QString where = filter.whereClause();
    beginResetModel();
    m_db = &db;
    m_where = where;
    m_lines.clear();
    m_more = false;
    try {
        m_lines = page(0);
        m_more = int(m_lines.size()) == kPage;
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void AuditTrailModel::clear()
{
    beginResetModel();
    m_lines.clear();
    m_more = false;
    endResetModel();
}

bool AuditTrailModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_more && m_db;
}

void AuditTrailModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    // Newer rows written meanwhile wait for the next load; older ones follow
    // the last shown, so no row comes twice.
    std::vector<Line> more;
    try {
        more = page(m_lines.back().id);
    } catch (...) {
        m_more = false;
        return;
    }
    m_more = int(more.size()) == kPage;
    if (more.empty())
        return;
    beginInsertRows(QModelIndex(), int(m_lines.size()), int(m_lines.size() + more.size()) - 1);
    for (Line &line : more)
        m_lines.push_back(std::move(line));
    endInsertRows();
}

QString AuditTrailModel::text(int row, Column column) const
{
    return m_lines.at(size_t(row)).texts[size_t(column)];
}

QString AuditTrailModel::changes(int row) const
{
    return m_lines.at(size_t(row)).changes;
}

int AuditTrailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int AuditTrailModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AuditTrailModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return m_lines[size_t(index.row())].texts[size_t(index.column())];
}

QVariant AuditTrailModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(kHeadings[section]);
}
