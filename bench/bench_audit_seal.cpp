// What sealing the audit trail adds to a save: the patient editor's save of
// one changed field with its trail row, sealed as the program writes it,
// beside the same save whose row goes in without a seal (as rows went in
// before they were sealed), on a trail of 10,000 rows, on both engines.
//   bench_audit_seal [google benchmark flags]
// The server variant runs on the server that the MEDLANTIS_TEST_PG_* variables
// name (tools/pg-test-server.sh starts one); without them, the file only.
#include <cstdio>
#include <map>
#include <string>

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchTools.h"
#include "data/Audit.h"
#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"

using bench::RatioReporter;

namespace {

constexpr int kTrailRows = 10000;
constexpr int kPatients = 100;

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QString serverUri(const QString &database)
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
        .arg(env("MEDLANTIS_TEST_PG_USER"), env("MEDLANTIS_TEST_PG_PORT"), database);
}

struct Desk
{
    Connection db;
    qint64 phone = 0;
};

std::map<std::string, Desk *> g_engines;

// The trail row as it went in before rows were sealed: the next id and the
// fields, nothing more.
void addUnsealed(Connection &db, const Audit::Entry &entry)
{
    Transaction transaction(db);
    const ResultRows last =
        db.engine().query(QStringLiteral("select max(AuditID) from AuditTrail"), false);
    const qint64 id = last.cells.empty() ? 1 : last.value(last.cells.front()).toLongLong() + 1;
    RowWrite w;
    w.table = QStringLiteral("AuditTrail");
    w.insert = true;
    w.columns = QStringList{"AuditID", "EventDate", "UserName", "Privilege", "Workstation",
                            "Action",  "TableName", "RecordID", "PatientID", "Changes"};
    w.values = {id,
                QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                QStringLiteral("Anna"),
                QStringLiteral("Administrator"),
                QStringLiteral("desk1"),
                entry.action,
                entry.table,
                entry.recordId,
                entry.patientId,
                entry.changes};
    db.engine().writeRow(w);
    transaction.commit();
}

// One save of the patient editor: the row before and after, the change, and
// its trail row, in one transaction.
void save(Desk &e, bool sealed)
{
    const qint64 id = e.phone % kPatients + 1;
    const QString phone = QStringLiteral("555-%1").arg(++e.phone);
    const auto write = [&] {
        e.db.Execute(QStringLiteral("update PatientRecords set Phone = '%1' where PatientID = %2")
                         .arg(phone)
                         .arg(id));
    };
    if (sealed) {
        Audit::recordWrite(e.db, QStringLiteral("Update"), QStringLiteral("PatientRecords"),
                           QStringLiteral("PatientID"), id, id, write);
        return;
    }
    Transaction transaction(e.db);
    const Audit::Row before =
        Audit::read(e.db, QStringLiteral("PatientRecords"), QStringLiteral("PatientID"), id);
    write();
    const Audit::Row after =
        Audit::read(e.db, QStringLiteral("PatientRecords"), QStringLiteral("PatientID"), id);
    addUnsealed(e.db,
                {QStringLiteral("Update"), QStringLiteral("PatientRecords"), id, id,
                 Audit::differences(before, after)});
    transaction.commit();
}

void prepare(Connection &db)
{
    db.setWhoSource([] {
        return AuditWho{QStringLiteral("Anna"), QStringLiteral("Administrator"),
                        QStringLiteral("desk1")};
    });
    Transaction transaction(db);
    for (int i = 1; i <= kPatients; ++i)
        db.Execute(QStringLiteral("insert into PatientRecords (PatientID, LastName, FirstName, "
                                  "City) values (%1, 'Name%1', 'First', 'Oslo')")
                       .arg(i));
    std::vector<Audit::Stored> rows(kTrailRows);
    for (int i = 0; i < kTrailRows; ++i) {
        rows[size_t(i)].eventDate = QStringLiteral("2026-01-01T00:00:00Z");
        rows[size_t(i)].action = QStringLiteral("Update");
        rows[size_t(i)].table = QStringLiteral("PatientRecords");
        rows[size_t(i)].recordId = i % kPatients + 1;
        rows[size_t(i)].changes = QStringLiteral("Phone: %1 -> %2").arg(i).arg(i + 1);
    }
    Audit::appendRows(db, rows);
    transaction.commit();
}

void BM_Save(benchmark::State &state, const std::string &engine, bool sealed)
{
    Desk &e = *g_engines.at(engine);
    for (auto _ : state)
        save(e, sealed);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("bench.mdb"));
    Schema::createDatabaseFile(file);
    Desk embedded;
    embedded.db.Open(file, QString());
    prepare(embedded.db);
    g_engines["embedded"] = &embedded;

    const QString database = QStringLiteral("medlantis_bench_seal_%1").arg(getpid());
    Desk server;
    const bool onServer = !env("MEDLANTIS_TEST_PG_PORT").isEmpty();
    if (onServer) {
        PgEngine(serverUri(QStringLiteral("postgres")), env("MEDLANTIS_TEST_PG_PASSWORD"))
            .executeRaw(QStringLiteral("CREATE DATABASE ") + database);
        server.db.Open(serverUri(database), env("MEDLANTIS_TEST_PG_PASSWORD"));
        Schema::createMissing(server.db);
        prepare(server.db);
        g_engines["server"] = &server;
    }
    for (const auto &[name, engine] : g_engines) {
        (void)engine;
        benchmark::RegisterBenchmark(("save/" + name + "/sealed").c_str(), BM_Save, name, true);
        benchmark::RegisterBenchmark(("save/" + name + "/unsealed").c_str(), BM_Save, name, false);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %14s %14s %8s\n", "engine", "sealed", "without seal", "added");
    for (const auto &[name, engine] : g_engines) {
        (void)engine;
        const double sealed = reporter.times["save/" + name + "/sealed"];
        const double bare = reporter.times["save/" + name + "/unsealed"];
        if (bare > 0)
            std::printf("%-10s %11.3f ms %11.3f ms %7.1f%%\n", name.c_str(), sealed / 1e6,
                        bare / 1e6, (sealed / bare - 1.0) * 100.0);
    }
    if (onServer) {
        server.db.Close();
        PgEngine(serverUri(QStringLiteral("postgres")), env("MEDLANTIS_TEST_PG_PASSWORD"))
            .executeRaw(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
    }
    benchmark::Shutdown();
    return 0;
}
