#include "data/PgCopy.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <QByteArray>
#include <QLocale>
#include <QtEndian>

#include <libpq-fe.h>
#include <poll.h>

#include "data/DbError.h"
#include "data/PgEngine.h"

namespace PgCopy {
namespace {

constexpr int kServerError = 3146;
// What a copy hands to the connection at a time.
constexpr size_t kSendAt = 1 << 20;
const char kSignature[] = "PGCOPY\n\377\r\n";
constexpr size_t kSignatureSize = 11;
constexpr size_t kHeaderSize = kSignatureSize + 8;

// The type ids of the server's built-in types that travel as themselves.
constexpr Oid kBool = 16, kBytea = 17, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23,
              kText = 25, kFloat4 = 700, kFloat8 = 701, kBpchar = 1042, kVarchar = 1043;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Result wrap(PGresult *res)
{
    return Result(res, &PQclear);
}

QString utf8(const char *text)
{
    return QString::fromUtf8(text ? text : "");
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""))
           + QLatin1Char('"');
}

QString errorOf(PGconn *conn, PGresult *res)
{
    const QString text = utf8(res ? PQresultErrorMessage(res) : nullptr).trimmed();
    return text.isEmpty() ? utf8(PQerrorMessage(conn)).trimmed() : text;
}

// Waits until the server's socket can be read (or written, with write);
// false when stallMs passed without.
bool waitFor(PGconn *conn, bool write, int stallMs)
{
    pollfd p{PQsocket(conn), short(POLLIN | (write ? POLLOUT : 0)), 0};
    for (;;) {
        const int r = ::poll(&p, 1, stallMs);
        if (r >= 0)
            return r > 0;
        if (errno != EINTR)
            return true; // the next libpq call reports what is wrong
    }
}

[[noreturn]] void stalled(PgEngine &engine, int stallMs)
{
    engine.raise(QStringLiteral("The database server sent nothing for %1 seconds.")
                     .arg(stallMs / 1000));
}

// The types of the select list's columns, as a select of no rows names them.
std::vector<Oid> typesOf(PgEngine &engine, const QString &select)
{
    PGconn *conn = engine.connection();
    Result probe = wrap(PQexec(conn, (select + QStringLiteral(" LIMIT 0")).toUtf8().constData()));
    if (PQresultStatus(probe.get()) != PGRES_TUPLES_OK)
        engine.raise(errorOf(conn, probe.get()));
    std::vector<Oid> types;
    for (int c = 0; c < PQnfields(probe.get()); ++c)
        types.push_back(PQftype(probe.get(), c));
    return types;
}

template <typename T>
T bigEndian(const char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return qFromBigEndian(v);
}

template <typename T>
void appendBigEndian(std::string &out, T v)
{
    v = qToBigEndian(v);
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

// Splits the bytes of a binary copy into rows, whatever pieces they come in.
class RowParser
{
public:
    RowParser(int columns, const std::function<void(const Field *, int)> &row)
        : m_fields(size_t(columns)), m_row(row)
    {
    }

    void feed(const char *data, size_t size)
    {
        if (m_pending.empty()) {
            const size_t used = parse(data, size);
            m_pending.assign(data + used, size - used);
            return;
        }
        m_pending.append(data, size);
        const size_t used = parse(m_pending.data(), m_pending.size());
        m_pending.erase(0, used);
    }

    void finish() const
    {
        if (!m_ended || !m_pending.empty())
            throw DbError(kServerError, QStringLiteral("The server's copy of the rows ended "
                                                       "half way."));
    }

private:
    size_t parse(const char *data, size_t size)
    {
        size_t at = 0;
        if (!m_headerRead) {
            if (size < kHeaderSize)
                return 0;
            if (std::memcmp(data, kSignature, kSignatureSize) != 0)
                throw DbError(kServerError, QStringLiteral("The server sent rows in a form "
                                                           "this program does not read."));
            const auto extension = size_t(bigEndian<quint32>(data + kSignatureSize + 4));
            if (size < kHeaderSize + extension)
                return 0;
            at = kHeaderSize + extension;
            m_headerRead = true;
        }
        while (!m_ended && size - at >= 2) {
            const qint16 count = bigEndian<qint16>(data + at);
            if (count == -1) {
                m_ended = true;
                at += 2;
                break;
            }
            if (count != qint16(m_fields.size()))
                throw DbError(kServerError, QStringLiteral("The server sent a row of %1 values "
                                                           "where %2 were asked for.")
                                                .arg(count)
                                                .arg(m_fields.size()));
            size_t end = at + 2;
            bool whole = true;
            for (Field &field : m_fields) {
                if (size - end < 4) {
                    whole = false;
                    break;
                }
                field.length = bigEndian<qint32>(data + end);
                end += 4;
                if (field.length < 0) {
                    field.length = -1;
                    field.data = nullptr;
                    continue;
                }
                if (size - end < size_t(field.length)) {
                    whole = false;
                    break;
                }
                field.data = data + end;
                end += size_t(field.length);
            }
            if (!whole)
                break;
            m_row(m_fields.data(), int(m_fields.size()));
            at = end;
        }
        return at;
    }

    std::vector<Field> m_fields;
    const std::function<void(const Field *, int)> &m_row;
    std::string m_pending;
    bool m_headerRead = false;
    bool m_ended = false;
};

// Ends a copy that is still sending when its reader gives up: the server is
// asked to stop and what it sent meanwhile is read away.
class CopyOutGuard
{
public:
    explicit CopyOutGuard(PGconn *conn) : m_conn(conn) {}
    ~CopyOutGuard()
    {
        if (!m_conn)
            return;
        if (PGcancel *cancel = PQgetCancel(m_conn)) {
            char error[256];
            PQcancel(cancel, error, int(sizeof error));
            PQfreeCancel(cancel);
        }
        char *buffer = nullptr;
        while (PQgetCopyData(m_conn, &buffer, 0) > 0)
            PQfreemem(buffer);
        while (PGresult *res = PQgetResult(m_conn))
            PQclear(res);
    }
    void release() { m_conn = nullptr; }

private:
    PGconn *m_conn;
};

} // namespace

void read(PgEngine &engine, const QString &table, const QStringList &selectList,
          const QString &orderBy, std::vector<Kind> &kinds,
          const std::function<void(const Field *, int)> &row, int stallMs)
{
    const QString from = QStringLiteral(" FROM ") + quoted(table);
    const std::vector<Oid> types =
        typesOf(engine, QStringLiteral("SELECT ") + selectList.join(QLatin1Char(',')) + from);
    kinds.clear();
    QStringList columns;
    for (size_t c = 0; c < types.size(); ++c) {
        const QString &expression = selectList.at(int(c));
        switch (types[c]) {
        case kInt2:
        case kInt4:
        case kInt8:
            kinds.push_back(Kind::Integer);
            columns << expression;
            break;
        case kFloat4:
        case kFloat8:
            kinds.push_back(Kind::Real);
            columns << expression;
            break;
        case kBool:
            kinds.push_back(Kind::Boolean);
            columns << expression;
            break;
        case kBytea:
            kinds.push_back(Kind::Bytes);
            columns << expression;
            break;
        case kText:
        case kVarchar:
        case kBpchar:
        case kName:
            kinds.push_back(Kind::Text);
            columns << expression;
            break;
        default:
            kinds.push_back(Kind::Text);
            columns << QLatin1Char('(') + expression + QStringLiteral(")::text");
        }
    }
    PGconn *conn = engine.connection();
    // In the order of the key, which is how a file takes rows fastest; the
    // planner is kept from sorting the whole table when an index gives it.
    Result unsorted = wrap(PQexec(conn, "SET LOCAL enable_sort = off"));
    const QString copy = QStringLiteral("COPY (SELECT ") + columns.join(QLatin1Char(',')) + from
                         + QStringLiteral(" ORDER BY ") + quoted(orderBy)
                         + QStringLiteral(") TO STDOUT (FORMAT binary)");
    Result started = wrap(PQexec(conn, copy.toUtf8().constData()));
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT)
        engine.raise(errorOf(conn, started.get()));
    started.reset();
    CopyOutGuard guard(conn);
    RowParser parser(int(types.size()), row);
    for (;;) {
        char *buffer = nullptr;
        const int n = PQgetCopyData(conn, &buffer, 1);
        if (n > 0) {
            std::unique_ptr<char, decltype(&PQfreemem)> piece(buffer, &PQfreemem);
            parser.feed(buffer, size_t(n));
            continue;
        }
        if (n == -1)
            break;
        if (n == -2)
            engine.raise(errorOf(conn, nullptr));
        if (!waitFor(conn, false, stallMs))
            stalled(engine, stallMs);
        if (!PQconsumeInput(conn))
            engine.raise(errorOf(conn, nullptr));
    }
    guard.release();
    Result done = wrap(PQgetResult(conn));
    const bool ok = PQresultStatus(done.get()) == PGRES_COMMAND_OK;
    const QString error = ok ? QString() : errorOf(conn, done.get());
    while (PGresult *res = PQgetResult(conn))
        PQclear(res);
    if (!ok)
        engine.raise(error);
    parser.finish();
}

Writer::Writer(PgEngine &engine, const QString &table, const QStringList &columns, int stallMs)
    : m_engine(engine), m_table(table), m_columns(columns), m_stallMs(stallMs)
{
    QStringList names;
    for (const QString &column : columns)
        names << quoted(column);
    const std::vector<Oid> types = typesOf(
        engine, QStringLiteral("SELECT %1 FROM %2").arg(names.join(QLatin1Char(',')),
                                                        quoted(table)));
    for (size_t c = 0; c < types.size(); ++c) {
        switch (types[c]) {
        case kInt2:
            m_targets.push_back(Target::Int2);
            break;
        case kInt4:
            m_targets.push_back(Target::Int4);
            break;
        case kInt8:
            m_targets.push_back(Target::Int8);
            break;
        case kFloat4:
            m_targets.push_back(Target::Float4);
            break;
        case kFloat8:
            m_targets.push_back(Target::Float8);
            break;
        case kBool:
            m_targets.push_back(Target::Boolean);
            break;
        case kText:
        case kVarchar:
        case kBpchar:
        case kName:
        case kBytea:
            m_targets.push_back(Target::Raw);
            break;
        default:
            throw DbError(kServerError,
                          QStringLiteral("The server's column %1.%2 is of a type that a restore "
                                         "cannot fill.")
                              .arg(table, columns.at(int(c))));
        }
    }
    PGconn *conn = engine.connection();
    const QString copy = QStringLiteral("COPY %1 (%2) FROM STDIN (FORMAT binary)")
                             .arg(quoted(table), names.join(QLatin1Char(',')));
    Result started = wrap(PQexec(conn, copy.toUtf8().constData()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN)
        engine.raise(errorOf(conn, started.get()));
    m_open = true;
    // Not blocking, so that a server that stops taking rows is noticed.
    PQsetnonblocking(conn, 1);
    m_buffer.reserve(kSendAt + (1 << 16));
    m_buffer.append(kSignature, kSignatureSize);
    appendBigEndian<qint32>(m_buffer, 0);
    appendBigEndian<qint32>(m_buffer, 0);
}

Writer::~Writer()
{
    if (!m_open)
        return;
    // Given up half way: the server drops every row of this copy.
    PGconn *conn = m_engine.connection();
    if (PQputCopyEnd(conn, "the restore stopped") == 1) {
        while (PQflush(conn) == 1 && waitFor(conn, true, m_stallMs))
            PQconsumeInput(conn);
    }
    PQsetnonblocking(conn, 0);
    while (PGresult *res = PQgetResult(conn))
        PQclear(res);
}

Writer::Target Writer::nextTarget()
{
    if (m_column >= int(m_targets.size()))
        throw std::logic_error("a copied row has more values than columns");
    if (m_column == 0)
        appendBigEndian<qint16>(m_buffer, qint16(m_targets.size()));
    return m_targets[size_t(m_column++)];
}

void Writer::misfit(const QString &value)
{
    QString shown = value.left(40);
    if (shown.size() < value.size())
        shown += QStringLiteral("...");
    throw DbError(kServerError,
                  QStringLiteral("Row %1 of the table %2 holds '%3' in its column %4, which "
                                 "does not fit the server's column.")
                      .arg(m_rows + 1)
                      .arg(m_table, shown, m_columns.at(m_column - 1)));
}

void Writer::raw(const char *data, qint64 length)
{
    if (length > std::numeric_limits<qint32>::max())
        misfit(QStringLiteral("(%1 bytes)").arg(length));
    appendBigEndian<qint32>(m_buffer, qint32(length));
    m_buffer.append(data, size_t(length));
}

void Writer::null()
{
    nextTarget();
    appendBigEndian<qint32>(m_buffer, -1);
}

void Writer::integer(qint64 value)
{
    putInteger(nextTarget(), value);
}

void Writer::real(double value)
{
    putReal(nextTarget(), value);
}

void Writer::putInteger(Target target, qint64 value)
{
    const auto within = [&](qint64 low, qint64 high) {
        if (value < low || value > high)
            misfit(QString::number(value));
    };
    switch (target) {
    case Target::Int2:
        within(std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
        appendBigEndian<qint32>(m_buffer, 2);
        appendBigEndian<qint16>(m_buffer, qint16(value));
        break;
    case Target::Int4:
        within(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
        appendBigEndian<qint32>(m_buffer, 4);
        appendBigEndian<qint32>(m_buffer, qint32(value));
        break;
    case Target::Int8:
        appendBigEndian<qint32>(m_buffer, 8);
        appendBigEndian<qint64>(m_buffer, value);
        break;
    case Target::Float4:
    case Target::Float8:
        putReal(target, double(value));
        break;
    case Target::Boolean:
        appendBigEndian<qint32>(m_buffer, 1);
        m_buffer.push_back(value != 0 ? 1 : 0);
        break;
    case Target::Raw: {
        const QByteArray digits = QByteArray::number(value);
        raw(digits.constData(), digits.size());
        break;
    }
    }
}

void Writer::putReal(Target target, double value)
{
    switch (target) {
    case Target::Int2:
    case Target::Int4:
    case Target::Int8:
        // A whole number kept as a real (SQLite does that) is still that number.
        if (!(std::trunc(value) == value && std::fabs(value) < 9.2e18))
            misfit(QString::number(value, 'g', 17));
        putInteger(target, qint64(value));
        break;
    case Target::Float4: {
        appendBigEndian<qint32>(m_buffer, 4);
        const float f = float(value);
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        appendBigEndian<quint32>(m_buffer, bits);
        break;
    }
    case Target::Float8: {
        appendBigEndian<qint32>(m_buffer, 8);
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        appendBigEndian<quint64>(m_buffer, bits);
        break;
    }
    case Target::Boolean:
        appendBigEndian<qint32>(m_buffer, 1);
        m_buffer.push_back(value != 0 ? 1 : 0);
        break;
    case Target::Raw: {
        const QByteArray digits = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
        raw(digits.constData(), digits.size());
        break;
    }
    }
}

void Writer::text(const char *data, qint64 length)
{
    const Target target = nextTarget();
    if (target == Target::Raw) {
        raw(data, length);
        return;
    }
    // Digits in a number column: what the server makes of them as text.
    const QByteArray value = QByteArray::fromRawData(data, int(length)).trimmed();
    bool ok = false;
    if (target == Target::Float4 || target == Target::Float8) {
        const double d = value.toDouble(&ok);
        if (ok) {
            putReal(target, d);
            return;
        }
    } else if (target == Target::Boolean) {
        const QByteArray lower = value.toLower();
        for (const char *yes : {"t", "true", "1", "yes", "on"}) {
            if (lower == yes) {
                putInteger(target, 1);
                return;
            }
        }
        for (const char *no : {"f", "false", "0", "no", "off"}) {
            if (lower == no) {
                putInteger(target, 0);
                return;
            }
        }
    } else {
        const qint64 n = value.toLongLong(&ok);
        if (ok) {
            putInteger(target, n);
            return;
        }
    }
    misfit(QString::fromUtf8(data, int(length)));
}

void Writer::bytes(const char *data, qint64 length)
{
    text(data, length);
}

void Writer::endRow()
{
    if (m_column != int(m_targets.size()))
        throw std::logic_error("a copied row has fewer values than columns");
    m_column = 0;
    ++m_rows;
    if (m_buffer.size() >= kSendAt)
        flush();
}

void Writer::flush()
{
    PGconn *conn = m_engine.connection();
    if (!m_buffer.empty()) {
        int sent;
        while ((sent = PQputCopyData(conn, m_buffer.data(), int(m_buffer.size()))) == 0) {
            if (!waitFor(conn, true, m_stallMs))
                stalled(m_engine, m_stallMs);
            PQconsumeInput(conn);
        }
        if (sent < 0) {
            // The server refused a row: its own words are in the copy's result.
            Result res = wrap(PQgetResult(conn));
            m_engine.raise(errorOf(conn, res.get()));
        }
        m_buffer.clear();
    }
    // Everything handed over before more is read: the memory stays small.
    for (int left; (left = PQflush(conn)) != 0;) {
        if (left < 0)
            m_engine.raise(errorOf(conn, nullptr));
        if (!waitFor(conn, true, m_stallMs))
            stalled(m_engine, m_stallMs);
        if (!PQconsumeInput(conn))
            m_engine.raise(errorOf(conn, nullptr));
    }
}

void Writer::finish()
{
    if (!m_open)
        return;
    appendBigEndian<qint16>(m_buffer, -1);
    flush();
    PGconn *conn = m_engine.connection();
    if (PQputCopyEnd(conn, nullptr) < 0)
        m_engine.raise(errorOf(conn, nullptr));
    flush();
    m_open = false;
    // The server may still be writing the last rows' index entries.
    while (PQisBusy(conn)) {
        if (!waitFor(conn, false, m_stallMs))
            stalled(m_engine, m_stallMs);
        if (!PQconsumeInput(conn))
            m_engine.raise(errorOf(conn, nullptr));
    }
    PQsetnonblocking(conn, 0);
    Result done = wrap(PQgetResult(conn));
    const bool ok = PQresultStatus(done.get()) == PGRES_COMMAND_OK;
    const QString error = ok ? QString() : errorOf(conn, done.get());
    while (PGresult *res = PQgetResult(conn))
        PQclear(res);
    if (!ok)
        m_engine.raise(error);
}

} // namespace PgCopy
