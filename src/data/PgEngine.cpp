#include "data/PgEngine.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <libpq-fe.h>

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Schema.h"

namespace {

// Failures of the server's own, and of reaching it at all.
constexpr int kServerError = 3146;
constexpr int kConnectError = 3151;
// The connection's encryption could not be set up as the address asks.
constexpr int kEncryptionError = 3152;
// All writing transactions of every workstation take turns on this lock, as
// they do on the embedded file's write lock.
constexpr qint64 kWriteLock = 0x4D45444C; // "MEDL"

// The type ids of the server's built-in types that need more than text.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26,
              kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Result wrap(PGresult *res)
{
    return Result(res, &PQclear);
}

QString utf8(const char *text)
{
    return QString::fromUtf8(text ? text : "");
}

QString where(PGconn *conn)
{
    const QString host = utf8(PQhost(conn));
    const QString port = utf8(PQport(conn));
    return port.isEmpty() ? host : host + QLatin1Char(':') + port;
}

// A server text without its severity ("ERROR:  ", "FATAL:  "), on one line.
QString withoutSeverity(const QString &raw)
{
    static const QRegularExpression severity(
        QStringLiteral("(^|\\n|: )\\s*(ERROR|FATAL|PANIC):\\s+"));
    QString text = raw;
    text.replace(severity, QStringLiteral("\\1"));
    return text.simplified();
}

QString startingText(const QString &server)
{
    return QStringLiteral("The database server at %1 is starting up or shutting down. Please "
                          "try again in a moment.")
        .arg(server);
}

bool isStartingOrStopping(const QString &raw)
{
    return raw.contains(QLatin1String("the database system is starting up"))
           || raw.contains(QLatin1String("the database system is shutting down"))
           || raw.contains(QLatin1String("the database system is not yet accepting connections"))
           || raw.contains(QLatin1String("the database system is in recovery mode"));
}

// A failed statement's text in words: the server's own message without its
// severity, and the busy and starting texts the user also meets on the file.
QString failureText(PGresult *res, PGconn *conn, const QString &server)
{
    const QByteArray state = res ? QByteArray(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : "";
    if (state == "55P03")
        return databaseBusyText();
    if (state == "57P01" || state == "57P02" || state == "57P03")
        return startingText(server);
    const QString primary =
        res ? utf8(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY)).trimmed() : QString();
    if (primary.isEmpty())
        return withoutSeverity(utf8(res ? PQresultErrorMessage(res) : PQerrorMessage(conn)));
    const QString detail = utf8(PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL)).trimmed();
    return detail.isEmpty() ? primary : primary + QLatin1Char(' ') + detail;
}

// Waits until the socket is ready for events, up to ms; false when the time
// ran out.
bool waitSocket(PGconn *conn, short events, int ms)
{
    const QDeadlineTimer timer(ms);
    pollfd fd{PQsocket(conn), events, 0};
    if (fd.fd < 0)
        return true; // nothing to wait on: libpq reports the lost connection
    for (;;) {
        const int n = ::poll(&fd, 1, int(std::max<qint64>(0, timer.remainingTime())));
        if (n > 0)
            return true;
        if (n == 0 || timer.hasExpired())
            return false;
        if (errno != EINTR)
            return true;
    }
}

// Flushes what was sent and collects the results: the first failure, or else
// the last result; a COPY's result at once, for its caller to move the data.
// The clock starts again with every read. When it runs out, progressed says
// whether the server still worked meanwhile (then it waits again); otherwise
// late is set and the result is null.
Result collect(PGconn *conn, int seconds, const std::function<bool()> &progressed, bool &late)
{
    late = false;
    const int ms = seconds * 1000;
    const auto wait = [&](short events) {
        while (!waitSocket(conn, events, ms)) {
            if (!progressed || !progressed())
                return false;
        }
        return true;
    };
    for (;;) {
        const int flushed = PQflush(conn);
        if (flushed <= 0)
            break;
        if (!wait(POLLIN | POLLOUT)) {
            late = true;
            return wrap(nullptr);
        }
        if (!PQconsumeInput(conn))
            break;
    }
    Result failure = wrap(nullptr);
    Result last = wrap(nullptr);
    for (;;) {
        while (PQisBusy(conn)) {
            if (!wait(POLLIN)) {
                late = true;
                return wrap(nullptr);
            }
            if (!PQconsumeInput(conn))
                break;
        }
        Result res = wrap(PQgetResult(conn));
        if (!res)
            break;
        const ExecStatusType status = PQresultStatus(res.get());
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
            return res;
        if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE) {
            if (!failure)
                failure = std::move(res);
        } else {
            last = std::move(res);
        }
    }
    return failure ? std::move(failure) : std::move(last);
}

bool succeeded(const Result &res)
{
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

QString lateText(const QString &server, int seconds)
{
    return QStringLiteral("The database server at %1 did not answer within %2 second%3")
        .arg(server)
        .arg(seconds)
        .arg(seconds == 1 ? QString() : QStringLiteral("s"));
}

// What the address itself asks of the connection, as libpq reads it.
struct AddressOptions
{
    bool tcp = false;
    bool setsSslMode = false;
    bool setsChannelBinding = false;
};

AddressOptions optionsOf(const QByteArray &uri)
{
    AddressOptions options;
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(uri.constData(), &error);
    PQfreemem(error);
    if (!parsed)
        return options; // connecting says what is wrong with it
    QString hosts = qEnvironmentVariable("PGHOST");
    bool hostaddr = !qEnvironmentVariableIsEmpty("PGHOSTADDR");
    for (PQconninfoOption *o = parsed; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QByteArray key(o->keyword);
        if (key == "host")
            hosts = QString::fromUtf8(o->val);
        else if (key == "hostaddr")
            hostaddr = hostaddr || *o->val;
        else if (key == "sslmode")
            options.setsSslMode = true;
        else if (key == "channel_binding")
            options.setsChannelBinding = true;
    }
    PQconninfoFree(parsed);
    // A host that is a folder is a Unix socket; no host at all is the default socket.
    options.tcp = hostaddr;
    for (const QString &host : hosts.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!host.startsWith(QLatin1Char('/')) && !host.startsWith(QLatin1Char('@')))
            options.tcp = true;
    }
    // Settings from the environment are as deliberate as the address's own.
    options.setsSslMode = options.setsSslMode || !qEnvironmentVariableIsEmpty("PGSSLMODE");
    options.setsChannelBinding =
        options.setsChannelBinding || !qEnvironmentVariableIsEmpty("PGCHANNELBINDING");
    return options;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A fault of the connection's encryption, in words; "" for any other fault.
QString encryptionFailure(const QString &raw, const QString &host, const QString &server)
{
    if (raw.contains(QLatin1String("server does not support SSL")))
        return QStringLiteral("The server %1 does not offer an encrypted connection. Turn on ssl "
                              "in its postgresql.conf, or add ?sslmode=disable to the address to "
                              "connect without encryption.")
            .arg(host);
    if (raw.contains(QLatin1String("channel binding")))
        return QStringLiteral("The server %1 does not bind its password check to the encrypted "
                              "connection (channel_binding). Use scram-sha-256 for this "
                              "workstation in its pg_hba.conf, or add ?channel_binding=disable "
                              "to the address to connect without it.")
            .arg(host);
    static const QRegularExpression badValue(QStringLiteral("invalid (\\w+) value: \"([^\"]*)\""));
    const QRegularExpressionMatch value = badValue.match(raw);
    if (value.hasMatch()) {
        const QString key = value.captured(1);
        QString choices;
        if (key == QLatin1String("sslmode"))
            choices =
                QStringLiteral(" (disable, allow, prefer, require, verify-ca or verify-full)");
        else if (key == QLatin1String("channel_binding"))
            choices = QStringLiteral(" (disable, prefer or require)");
        return QStringLiteral("The database address sets %1 to %2, which is not one of its "
                              "values%3. Please correct the address.")
            .arg(key, quoted(value.captured(2)), choices);
    }
    static const QRegularExpression badFile(
        QStringLiteral("(certificate|key|CRL|revocation list) file \"([^\"]*)\""));
    const QRegularExpressionMatch file = badFile.match(raw);
    if (file.hasMatch())
        return QStringLiteral("The file %1 that the database address names for the encrypted "
                              "connection cannot be read. Please check sslrootcert, sslcert and "
                              "sslkey in the address.")
            .arg(quoted(file.captured(2)));
    if (raw.contains(QLatin1String("certificate verify failed"))
        || raw.contains(QLatin1String("does not match host name")))
        return QStringLiteral("The database server at %1 showed a certificate that the address's "
                              "sslrootcert does not vouch for, so it may not be the practice's "
                              "server. Nothing was sent to it.")
            .arg(server);
    return QString();
}

// The connection failure in words that name what is wrong; encryption, when
// given, says whether it is a fault of the encryption.
QString connectFailure(PGconn *conn, bool *encryption = nullptr)
{
    const QString raw = hidePasswords(utf8(PQerrorMessage(conn)).trimmed());
    const QString user = utf8(PQuser(conn));
    const QString database = utf8(PQdb(conn));
    const QString server = where(conn);
    const QString tls = encryptionFailure(raw, utf8(PQhost(conn)), server);
    if (!tls.isEmpty()) {
        if (encryption)
            *encryption = true;
        return tls;
    }
    static const QRegularExpression unknownHost(
        QStringLiteral("could not translate host name \"([^\"]*)\""));
    const QRegularExpressionMatch host = unknownHost.match(raw);
    if (isStartingOrStopping(raw))
        return startingText(server);
    if (host.hasMatch())
        return QStringLiteral("The database server's host %1 is not known. Please check the host "
                              "name in the database address.")
            .arg(quoted(host.captured(1)));
    if (raw.contains(QLatin1String("password authentication failed")))
        return QStringLiteral("The database server at %1 refused the user %2 with this password. "
                              "Please check the user name in the database address and the "
                              "database password.")
            .arg(server, quoted(user));
    if (raw.contains(QLatin1String("no password supplied")))
        return QStringLiteral("The database server at %1 asks for the password of the user %2. "
                              "Please enter it as the database password.")
            .arg(server, quoted(user));
    if (raw.contains(QLatin1String("role \"")) && raw.contains(QLatin1String("does not exist")))
        return QStringLiteral("The database server at %1 has no user %2. Please check the user "
                              "name in the database address.")
            .arg(server, quoted(user));
    if (raw.contains(QLatin1String("database \"")) && raw.contains(QLatin1String("does not exist")))
        return QStringLiteral("The database server at %1 has no database %2. Please check the "
                              "database name in the database address.")
            .arg(server, quoted(database));
    if (raw.contains(QLatin1String("no pg_hba.conf entry")))
        return QStringLiteral("The database server at %1 does not let this workstation in as %2 "
                              "(its pg_hba.conf has no entry for it).")
            .arg(server, quoted(user));
    if (raw.contains(QLatin1String("Connection refused"))
        || raw.contains(QLatin1String("No such file or directory"))
        || raw.contains(QLatin1String("timeout expired"))
        || raw.contains(QLatin1String("No route to host"))
        || raw.contains(QLatin1String("Network is unreachable")))
        return QStringLiteral("The database server at %1 does not answer. It may be stopped, or "
                              "the host or port in the database address may be wrong.")
            .arg(server);
    if (raw.contains(QLatin1String("invalid URI")) || raw.contains(QLatin1String("invalid ")))
        return QStringLiteral("The database address is not valid: %1").arg(raw);
    return QStringLiteral("Could not connect to the database server at %1: %2")
        .arg(server, withoutSeverity(raw));
}

PGconn *connectTo(const QString &uri, const QString &password)
{
    // The address's own settings come after the defaults and so win over them.
    const QByteArray uriBytes = uri.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    std::vector<const char *> keys = {"connect_timeout", "keepalives", "keepalives_idle",
                                      "keepalives_interval", "keepalives_count",
                                      "tcp_user_timeout", "application_name",
                                      "client_encoding"};
    std::vector<const char *> values = {"5", "1", "10", "5", "3", "20000", "Medlantis", "UTF8"};
    // Over a network, encrypted, and the password exchange bound to that very
    // session, so that no machine in between can read it or relay the sign-in;
    // an address that chooses its own sslmode gets libpq's defaults beside it.
    const AddressOptions options = optionsOf(uriBytes);
    if (options.tcp && !options.setsSslMode) {
        keys.push_back("sslmode");
        values.push_back("require");
        if (!options.setsChannelBinding) {
            keys.push_back("channel_binding");
            values.push_back("require");
        }
    }
    keys.push_back("dbname");
    values.push_back(uriBytes.constData());
    if (!password.isEmpty()) {
        keys.push_back("password");
        values.push_back(passwordBytes.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keys.data(), values.data(), 1);
}

// What every session needs, also after connecting again; false when the
// server did not answer in time.
bool prepareSession(PGconn *conn, int seconds)
{
    PQsetnonblocking(conn, 1);
    bool late = false;
    if (PQsendQuery(conn, "SET statement_timeout = 30000; SET lock_timeout = 15000; "
                          "SET standard_conforming_strings = on; "
                          "SET client_min_messages = warning")) {
        const Result res = collect(conn, seconds, {}, late);
        if (late)
            return false;
        if (succeeded(res))
            return true;
    }
    throw DbError(kConnectError, withoutSeverity(utf8(PQerrorMessage(conn))));
}

QString insertKey(const QString &sql, const QString &keyColumn)
{
    static const QRegularExpression select(QStringLiteral("^\\s*select\\s+"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = select.match(sql);
    if (!m.hasMatch())
        return QString();
    return sql.left(m.capturedEnd()) + QLatin1Char('"') + keyColumn
           + QStringLiteral("\" AS __rowid__, ") + sql.mid(m.capturedEnd());
}

void addValue(ResultRows &rows, PGresult *res, int row, int col)
{
    if (PQgetisnull(res, row, col)) {
        rows.addNull();
        return;
    }
    const char *text = PQgetvalue(res, row, col);
    switch (PQftype(res, col)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        rows.addInteger(QByteArray(text).toLongLong());
        break;
    case kBool:
        rows.addInteger(text[0] == 't' ? 1 : 0);
        break;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        rows.addReal(QByteArray(text).toDouble());
        break;
    case kBytea: {
        size_t length = 0;
        unsigned char *bytes =
            PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        rows.addBytes(Cell::Blob, reinterpret_cast<const char *>(bytes), qint64(length));
        PQfreemem(bytes);
        break;
    }
    default:
        rows.addBytes(Cell::Text, text, PQgetlength(res, row, col));
    }
}

} // namespace

PgEngine::PgEngine(const QString &uri, const QString &password, int timeoutSeconds)
    : m_uri(uri), m_password(password), m_timeoutSeconds(std::max(1, timeoutSeconds))
{
    ensureConnected();
}

PgEngine::~PgEngine()
{
    PQfinish(m_conn);
}

QString PgEngine::describe() const
{
    return QStringLiteral("%1 on %2").arg(m_database, m_host);
}

QString PgEngine::takeNotice()
{
    return std::exchange(m_notice, QString());
}

void PgEngine::waitForServer(bool toWrite)
{
    ensureConnected();
    if (!waitSocket(m_conn, toWrite ? short(POLLOUT | POLLIN) : short(POLLIN),
                    m_timeoutSeconds * 1000))
        timedOut(Kind::Write, false);
}

void PgEngine::drop()
{
    PQfinish(m_conn);
    m_conn = nullptr;
    m_keys.clear();
}

void PgEngine::ensureConnected()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        return;
    // The rest of a write transaction must not run on a new connection, outside it.
    if (m_inWrite)
        raise(QStringLiteral("The transaction ended with the connection."));
    // The server went away (restarted, network lost, no answer): connect afresh.
    drop();
    PGconn *conn = connectTo(m_uri, m_password);
    if (PQstatus(conn) != CONNECTION_OK) {
        bool encryption = false;
        const QString message = connectFailure(conn, &encryption);
        PQfinish(conn);
        throw DbError(encryption ? kEncryptionError : kConnectError, message);
    }
    m_where = where(conn);
    m_host = utf8(PQhost(conn));
    m_database = utf8(PQdb(conn));
    try {
        if (!prepareSession(conn, m_timeoutSeconds))
            throw DbError(kConnectError, lateText(m_where, m_timeoutSeconds)
                                             + QStringLiteral(", so this was not done. Please "
                                                              "try again."));
    } catch (...) {
        PQfinish(conn);
        throw;
    }
    m_conn = conn;
}

void PgEngine::raise(const QString &what) const
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        if (what == startingText(m_where))
            throw DbError(kConnectError, what);
        throw DbError(kConnectError,
                      QStringLiteral("The connection to the database server at %1 was lost, so "
                                     "this was not done: %2 Please try again once the server "
                                     "answers.")
                          .arg(m_where, what));
    }
    throw DbError(kServerError, what);
}

template <class Send>
PgEngine::Result PgEngine::run(Kind kind, Send send, bool watchIndexBuild)
{
    ensureConnected();
    const bool autocommit = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    if (!send(m_conn))
        raise(failureText(nullptr, m_conn, m_where));
    std::function<bool()> progressed;
    std::unique_ptr<PGconn, decltype(&PQfinish)> watcher(nullptr, &PQfinish);
    QByteArray seen;
    if (watchIndexBuild) {
        // Asked on a second connection only once the deadline passes.
        const int pid = PQbackendPID(m_conn);
        progressed = [this, pid, &watcher, &seen] {
            if (!watcher) {
                watcher.reset(connectTo(m_uri, m_password));
                if (PQstatus(watcher.get()) != CONNECTION_OK
                    || !prepareSession(watcher.get(), m_timeoutSeconds))
                    return false;
            }
            const QByteArray sql =
                QStringLiteral("select concat_ws(',', phase, lockers_done, blocks_done, "
                               "tuples_done, partitions_done) from "
                               "pg_stat_progress_create_index where pid = %1")
                    .arg(pid)
                    .toUtf8();
            bool late = false;
            if (!PQsendQuery(watcher.get(), sql.constData()))
                return false;
            const Result res = collect(watcher.get(), m_timeoutSeconds, {}, late);
            if (late || !succeeded(res) || PQntuples(res.get()) != 1)
                return false;
            const QByteArray now(PQgetvalue(res.get(), 0, 0));
            return std::exchange(seen, now) != now;
        };
    }
    bool late = false;
    Result res = collect(m_conn, m_timeoutSeconds, progressed, late);
    if (late)
        timedOut(kind, autocommit);
    return res;
}

PgEngine::Result PgEngine::runSql(Kind kind, const QString &sql, bool watchIndexBuild)
{
    const QByteArray text = sql.toUtf8();
    return run(
        kind, [&text](PGconn *conn) { return PQsendQuery(conn, text.constData()); },
        watchIndexBuild);
}

void PgEngine::timedOut(Kind kind, bool autocommit)
{
    const QString late = lateText(m_where, m_timeoutSeconds);
    // A write transaction under way stays refused until it is rolled back.
    drop();
    if (kind == Kind::Write && autocommit)
        throw DbError(kConnectError, late
                                         + QStringLiteral(", so it is not known whether this "
                                                          "was saved. Check the record before "
                                                          "saving again."));
    throw DbError(kConnectError,
                  late + QStringLiteral(", so this was not done. Please try again."));
}

PgEngine::Outcome PgEngine::commitOutcome()
{
    const qint64 txid = std::exchange(m_txid, 0);
    if (txid <= 0)
        return Outcome::Unknown;
    PGconn *conn = connectTo(m_uri, m_password);
    bool late = PQstatus(conn) != CONNECTION_OK;
    Outcome outcome = Outcome::Unknown;
    try {
        late = late || !prepareSession(conn, m_timeoutSeconds);
    } catch (const DbError &) {
        late = true;
    }
    // A commit that the server still works on gets a moment to end.
    const QDeadlineTimer patience(std::min(5, m_timeoutSeconds) * 1000);
    const QByteArray sql = QStringLiteral("select txid_status(%1)").arg(txid).toUtf8();
    while (!late && PQsendQuery(conn, sql.constData())) {
        const Result res = collect(conn, m_timeoutSeconds, {}, late);
        if (late || !succeeded(res) || PQntuples(res.get()) != 1)
            break;
        const QByteArray status(PQgetvalue(res.get(), 0, 0));
        if (status == "committed" || status == "aborted") {
            outcome = status == "committed" ? Outcome::Saved : Outcome::NotSaved;
            break;
        }
        if (status != "in progress" || patience.hasExpired())
            break;
        QThread::msleep(100);
    }
    if (late || PQstatus(conn) != CONNECTION_OK) {
        PQfinish(conn);
        return outcome;
    }
    // The next action goes on with the connection that answered.
    m_conn = conn;
    m_where = where(conn);
    return outcome;
}

QString PgEngine::translate(const QString &sql) const
{
    return translateSqlForPostgres(sql, Schema::postgresNames());
}

PgEngine::Kind PgEngine::kindOf(const QString &sql)
{
    // Statements that change no row; a commit of the windows' own runs apart.
    static const QRegularExpression reading(
        QStringLiteral("^\\s*(select|begin|start|savepoint|release|rollback|declare|fetch|"
                       "close|set|show|deallocate|commit|end)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return reading.match(sql).hasMatch() ? Kind::Read : Kind::Write;
}

void PgEngine::executeRaw(const QString &sql)
{
    const Result res = runSql(kindOf(sql), sql);
    if (!succeeded(res))
        raise(failureText(res.get(), m_conn, m_where));
}

void PgEngine::execute(const QString &sql)
{
    executeRaw(translate(sql));
}

ResultRows PgEngine::queryRaw(const QString &sql)
{
    const Result res = runSql(kindOf(sql), sql);
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK)
        raise(failureText(res.get(), m_conn, m_where));
    ResultRows rows;
    const int cols = PQnfields(res.get());
    rows.cols = cols;
    for (int c = 0; c < cols; ++c)
        rows.names << utf8(PQfname(res.get(), c));
    const int n = PQntuples(res.get());
    rows.cells.reserve(size_t(n) * size_t(cols));
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < cols; ++c)
            addValue(rows, res.get(), r, c);
    }
    return rows;
}

PgEngine::Key PgEngine::keyOf(unsigned int tableOid)
{
    const auto found = m_keys.find(tableOid);
    if (found != m_keys.end())
        return found->second;
    const ResultRows rows = queryRaw(
        QStringLiteral("select c.relname, a.attname from pg_class c join pg_index i on "
                       "i.indrelid = c.oid and i.indisprimary and i.indnkeyatts = 1 join "
                       "pg_attribute a on a.attrelid = c.oid and a.attnum = i.indkey[0] where "
                       "c.oid = %1")
            .arg(tableOid));
    Key key;
    if (rows.cols == 2 && rows.cells.size() == 2) {
        key.table = rows.value(rows.cells[0]).toString();
        key.column = rows.value(rows.cells[1]).toString();
    }
    m_keys[tableOid] = key;
    return key;
}

PgEngine::Key PgEngine::keyOfTable(const QString &table)
{
    for (const auto &entry : m_keys) {
        if (entry.second.table == table)
            return entry.second;
    }
    // Connected again since the rows were read: ask the server once more.
    const ResultRows rows = queryRaw(
        QStringLiteral("select c.oid from pg_class c where c.relname = '%1' and "
                       "c.relnamespace = (select oid from pg_namespace where nspname = "
                       "current_schema())")
            .arg(QString(table).replace(QLatin1Char('\''), QStringLiteral("''"))));
    return rows.cells.empty() ? Key() : keyOf(uint(rows.value(rows.cells[0]).toLongLong()));
}

ResultRows PgEngine::query(const QString &sql, bool forUpdate)
{
    const QString translated = translate(sql);
    QString chosen = translated;
    Key key;
    if (forUpdate) {
        // Which table each column comes from, as the server itself reports it.
        const QByteArray text = translated.toUtf8();
        const Result prepared = run(Kind::Read, [&text](PGconn *conn) {
            return PQsendPrepare(conn, "", text.constData(), 0, nullptr);
        });
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            raise(failureText(prepared.get(), m_conn, m_where));
        const Result described =
            run(Kind::Read, [](PGconn *conn) { return PQsendDescribePrepared(conn, ""); });
        const int fields = PQnfields(described.get());
        Oid table = fields > 0 ? PQftable(described.get(), 0) : InvalidOid;
        for (int c = 1; c < fields && table != InvalidOid; ++c) {
            if (PQftable(described.get(), c) != table)
                table = InvalidOid;
        }
        if (table != InvalidOid)
            key = keyOf(table);
        if (!key.column.isEmpty()) {
            const QString keyed = insertKey(translated, key.column);
            // A key that a join makes ambiguous leaves the rows read-only; the
            // trial must not spoil a transaction under way.
            const bool inTransaction = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
            if (inTransaction)
                executeRaw(QStringLiteral("SAVEPOINT medlantis_probe"));
            const QByteArray keyedText = keyed.toUtf8();
            const Result trial = run(Kind::Read, [&keyedText](PGconn *conn) {
                return PQsendPrepare(conn, "", keyedText.constData(), 0, nullptr);
            });
            const bool usable = !keyed.isEmpty() && PQresultStatus(trial.get()) == PGRES_COMMAND_OK;
            if (inTransaction)
                executeRaw(usable ? QStringLiteral("RELEASE medlantis_probe")
                                  : QStringLiteral("ROLLBACK TO medlantis_probe; "
                                                   "RELEASE medlantis_probe"));
            if (usable)
                chosen = keyed;
            else
                key = Key();
        }
    }
    ResultRows rows = queryRaw(chosen);
    if (!key.column.isEmpty()) {
        rows.table = key.table;
        rows.keyed = true;
        rows.names.removeFirst();
    }
    return rows;
}

namespace {

// A cursor on the server, fetched a chunk at a time. Outside a transaction
// it runs in one of its own, which ends with the last chunk.
class PgRowStream : public RowStream
{
public:
    PgRowStream(PgEngine &engine, QString cursor, bool ownTransaction)
        : m_engine(engine), m_cursor(std::move(cursor)), m_ownTransaction(ownTransaction)
    {
    }
    ~PgRowStream() override
    {
        try {
            finish(false);
        } catch (...) {
        }
    }

    bool next(ResultRows &rows, int maxRows) override
    {
        if (!m_open) {
            rows = ResultRows();
            rows.names = m_names;
            rows.cols = int(m_names.size());
            return false;
        }
        try {
            rows = m_engine.queryRaw(QStringLiteral("FETCH FORWARD %1 FROM %2")
                                         .arg(qMax(1, maxRows))
                                         .arg(m_cursor));
        } catch (...) {
            try {
                finish(false);
            } catch (...) {
            }
            throw;
        }
        m_names = rows.names;
        if (int(rows.cells.size()) >= qMax(1, maxRows) * qMax(1, rows.cols))
            return true;
        finish(true);
        return false;
    }

private:
    void finish(bool read)
    {
        if (!m_open)
            return;
        m_open = false;
        if (m_ownTransaction)
            m_engine.executeRaw(read ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
        else
            m_engine.executeRaw(QStringLiteral("CLOSE ") + m_cursor);
    }

    PgEngine &m_engine;
    QString m_cursor;
    bool m_ownTransaction;
    bool m_open = true;
    QStringList m_names;
};

} // namespace

std::unique_ptr<RowStream> PgEngine::stream(const QString &sql)
{
    ensureConnected();
    const QString cursor = QStringLiteral("medlantis_rows_%1").arg(++m_streams);
    const bool own = PQtransactionStatus(m_conn) != PQTRANS_INTRANS;
    if (own)
        executeRaw(QStringLiteral("BEGIN READ ONLY"));
    try {
        executeRaw(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR ").arg(cursor) + translate(sql));
    } catch (...) {
        if (own) {
            try {
                executeRaw(QStringLiteral("ROLLBACK"));
            } catch (...) {
            }
        }
        throw;
    }
    return std::make_unique<PgRowStream>(*this, cursor, own);
}

QVariant PgEngine::writeRow(const RowWrite &row)
{
    ensureConnected();
    const Key key = keyOfTable(row.table);
    if (key.column.isEmpty())
        throw DbError(3251, QStringLiteral("Current Recordset does not support updating."));
    const auto quoted = [](const QString &name) {
        return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""))
               + QLatin1Char('"');
    };
    QStringList columns;
    QStringList marks;
    for (int i = 0; i < row.columns.size(); ++i) {
        columns << quoted(row.columns.at(i));
        marks << QStringLiteral("$%1").arg(i + 1);
    }
    QString sql;
    if (row.insert) {
        sql = row.columns.isEmpty()
                  ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(row.table))
                  : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(quoted(row.table), columns.join(QLatin1Char(',')),
                             marks.join(QLatin1Char(',')));
        sql += QStringLiteral(" RETURNING ") + quoted(key.column);
    } else {
        QStringList sets;
        for (int i = 0; i < columns.size(); ++i)
            sets << columns.at(i) + QLatin1Char('=') + marks.at(i);
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3=$%4")
                  .arg(quoted(row.table), sets.join(QLatin1Char(',')), quoted(key.column))
                  .arg(row.columns.size() + 1);
    }
    std::vector<QByteArray> data;
    std::vector<const char *> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    std::vector<Oid> types;
    QVariantList all = row.values;
    if (!row.insert)
        all << row.key;
    data.reserve(size_t(all.size()));
    for (const QVariant &v : all) {
        if (v.isNull()) {
            data.emplace_back();
            values.push_back(nullptr);
            lengths.push_back(0);
            formats.push_back(0);
            types.push_back(0);
            continue;
        }
        const bool binary = v.typeId() == QMetaType::QByteArray;
        data.push_back(binary ? v.toByteArray() : v.toString().toUtf8());
        values.push_back(data.back().constData());
        lengths.push_back(int(data.back().size()));
        formats.push_back(binary ? 1 : 0);
        types.push_back(binary ? kBytea : 0);
    }
    const QByteArray text = sql.toUtf8();
    const Result res = run(Kind::Write, [&](PGconn *conn) {
        return PQsendQueryParams(conn, text.constData(), int(all.size()), types.data(),
                                 values.data(), lengths.data(), formats.data(), 0);
    });
    if (!succeeded(res))
        raise(failureText(res.get(), m_conn, m_where));
    if (row.insert)
        return QVariant(QByteArray(PQgetvalue(res.get(), 0, 0)).toLongLong());
    if (QByteArray(PQcmdTuples(res.get())) == "0")
        throw DbError(-2147217864, QStringLiteral("Row cannot be located for updating. Some "
                                                  "values may have been changed since it was "
                                                  "last read."));
    for (int i = 0; i < row.columns.size(); ++i) {
        if (row.columns.at(i).compare(key.column, Qt::CaseInsensitive) == 0)
            return QVariant(row.values.at(i).toLongLong());
    }
    return row.key;
}

void PgEngine::beginWrite()
{
    // The transaction's id, taken now, answers later whether an unanswered
    // commit went through.
    const Result res = runSql(
        Kind::Read,
        QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1), txid_current()").arg(kWriteLock));
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) {
        const QString failure = failureText(res.get(), m_conn, m_where);
        // The lock not had (busy) leaves the transaction begun and failed.
        if (PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
            runSql(Kind::Read, QStringLiteral("ROLLBACK"));
        raise(failure);
    }
    m_txid = QByteArray(PQgetvalue(res.get(), 0, 1)).toLongLong();
    m_inWrite = true;
}

void PgEngine::commit()
{
    ensureConnected();
    m_inWrite = false;
    bool late = false;
    Result res = wrap(nullptr);
    if (PQsendQuery(m_conn, "COMMIT"))
        res = collect(m_conn, m_timeoutSeconds, {}, late);
    if (!late && PQstatus(m_conn) == CONNECTION_OK) {
        m_txid = 0;
        if (!succeeded(res))
            raise(failureText(res.get(), m_conn, m_where));
        return;
    }
    // The commit may have gone through before the answer was lost, or run
    // once a stopped server resumes: ask on a new connection.
    const QString unknown =
        (late ? lateText(m_where, m_timeoutSeconds)
              : QStringLiteral("The connection to the database server at %1 was lost")
                    .arg(m_where))
        + QStringLiteral(", so it is not known whether this was saved. ");
    drop();
    switch (commitOutcome()) {
    case Outcome::Saved:
        m_notice = unknown + QStringLiteral("It was saved.");
        return;
    case Outcome::NotSaved:
        throw DbError(kConnectError,
                      unknown + QStringLiteral("It was not saved; please try again."));
    case Outcome::Unknown:
        break;
    }
    throw DbError(kConnectError,
                  unknown + QStringLiteral("Check the record before saving again."));
}

void PgEngine::rollback()
{
    m_inWrite = false;
    m_txid = 0;
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK
        && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        runSql(Kind::Read, QStringLiteral("ROLLBACK"));
}

void PgEngine::insertRows(const QString &table, const QStringList &columns,
                          const ResultRows &rows, int firstCell)
{
    ensureConnected();
    const int width = int(columns.size());
    if (width == 0 || rows.cols == 0 || rows.cells.empty())
        return;
    QStringList names;
    QStringList marks;
    for (int i = 0; i < width; ++i) {
        names << QLatin1Char('"') + columns.at(i) + QLatin1Char('"');
        marks << QStringLiteral("$%1").arg(i + 1);
    }
    const QByteArray sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                               .arg(table, names.join(QLatin1Char(',')),
                                    marks.join(QLatin1Char(',')))
                               .toUtf8();
    const Result prepared = run(Kind::Write, [&sql](PGconn *conn) {
        return PQsendPrepare(conn, "medlantis_insert", sql.constData(), 0, nullptr);
    });
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        raise(failureText(prepared.get(), m_conn, m_where));
    const auto n = size_t(width);
    std::vector<QByteArray> data(n);
    std::vector<const char *> values(n);
    std::vector<int> lengths(n);
    std::vector<int> formats(n);
    const size_t count = rows.cells.size() / size_t(rows.cols);
    for (size_t r = 0; r < count; ++r) {
        for (int c = 0; c < width; ++c) {
            const Cell &cell = rows.cells[r * size_t(rows.cols) + size_t(firstCell + c)];
            const QVariant v = rows.value(cell);
            const bool binary = cell.type == Cell::Blob;
            data[size_t(c)] = v.isNull() ? QByteArray()
                                         : (binary ? v.toByteArray() : v.toString().toUtf8());
            values[size_t(c)] = v.isNull() ? nullptr : data[size_t(c)].constData();
            lengths[size_t(c)] = int(data[size_t(c)].size());
            formats[size_t(c)] = binary ? 1 : 0;
        }
        const Result res = run(Kind::Write, [&](PGconn *conn) {
            return PQsendQueryPrepared(conn, "medlantis_insert", width, values.data(),
                                       lengths.data(), formats.data(), 0);
        });
        if (PQresultStatus(res.get()) != PGRES_COMMAND_OK)
            raise(failureText(res.get(), m_conn, m_where));
    }
    runSql(Kind::Read, QStringLiteral("DEALLOCATE medlantis_insert"));
}

pg_conn *PgEngine::connection()
{
    ensureConnected();
    return m_conn;
}

void PgEngine::createSchemaObject(const QString &sql)
{
    const QString statement = Schema::postgresStatementFor(sql);
    const Result res = runSql(kindOf(statement), statement, true);
    if (!succeeded(res))
        raise(failureText(res.get(), m_conn, m_where));
}

QStringList PgEngine::schemaObjects()
{
    const ResultRows rows = queryRaw(QStringLiteral(
        "select lower(c.relname) from pg_class c where c.relkind in ('r', 'i', 'p') and "
        "c.relnamespace = (select oid from pg_namespace where nspname = current_schema()) "
        "union all select lower(t.tgname) from pg_trigger t join pg_class c on c.oid = "
        "t.tgrelid where not t.tgisinternal and "
        "c.relnamespace = (select oid from pg_namespace where nspname = current_schema())"));
    QStringList names;
    for (const Cell &c : rows.cells)
        names << rows.value(c).toString();
    return names;
}

QString serverProblem(const QString &uri, const QString &password, bool emptyIsReady,
                      QString *title)
{
    try {
        PgEngine engine(uri, password);
        const QStringList present = engine.schemaObjects();
        QStringList missing;
        for (const QString &table : Schema::requiredTables()) {
            if (!present.contains(table.toLower()))
                missing << table;
        }
        // The tables and their upgrades are the owner's; a workstation whose
        // role is not the owner only says whom to ask.
        const QString ask = QStringLiteral(
            " Ask the practice's administrator to run tools/create-practice-database.sh.");
        if (missing.size() == Schema::requiredTables().size()) {
            if (!Schema::mayChangeSchema(engine))
                return QStringLiteral("The database %1 has no Medlantis tables.")
                           .arg(engine.describe())
                    + ask;
            if (emptyIsReady)
                return QString();
            return QStringLiteral("The database %1 has no Medlantis tables.")
                .arg(engine.describe());
        }
        if (!missing.isEmpty())
            return QStringLiteral("The database %1 lacks the Medlantis tables %2.")
                .arg(engine.describe(), missing.join(QStringLiteral(", ")));
        if (!Schema::lacking(engine).isEmpty() && !Schema::mayChangeSchema(engine))
            return QStringLiteral("The database %1 was made by an older version of Medlantis.")
                       .arg(engine.describe())
                + ask;
    } catch (const DbError &e) {
        if (title && e.number() == kEncryptionError)
            *title = QStringLiteral("Database Server");
        return e.description();
    }
    return QString();
}
