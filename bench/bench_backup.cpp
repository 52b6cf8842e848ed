// Backup and restore of the synthetic practices of 100,000 and 1,000,000
// patients on both engines, each beside the database's own tools on the same
// data, timed in the same run: for a file, a plain copy of it; for a server,
// pg_dump -Fc -Z0 (backup) and pg_restore of that dump into an empty
// database (restore). The copy is flushed to disk (sync) before its time is
// taken, as every backup and restore is. Each figure is the median of
// three runs.
//   bench_backup [--patients N] [--engine embedded|server]
// Each operation runs in a process of its own, which reports its time, its
// peak memory and the longest wait between two moves of its progress. The
// practices are made once and kept in the benchmark folder
// (MEDLANTIS_BENCH_DIR, or the temporary folder) and, for the server, as the
// databases medlantis_backup_<N> on the server that the MEDLANTIS_TEST_PG_*
// variables name (tools/bench-backup.sh starts one).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include "BenchTools.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "synth/SyntheticData.h"

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QString benchFolder()
{
    const QString dir = env("MEDLANTIS_BENCH_DIR");
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

QString inBench(const QString &name)
{
    return QDir(benchFolder()).filePath(name);
}

// The patient list benchmark's practice, which this one only reads.
QString listFile(int patients)
{
    return inBench(QStringLiteral("medlantis-bench-list-%1.mdb").arg(patients));
}

// The practice this benchmark backs up and restores into.
QString workingFile(int patients)
{
    return inBench(QStringLiteral("medlantis-bench-backup-%1.mdb").arg(patients));
}

QString backupOf(int patients, bool server)
{
    return inBench(QStringLiteral("medlantis-bench-backup-%1.%2.mdb")
                       .arg(patients)
                       .arg(server ? QStringLiteral("from-server") : QStringLiteral("copy")));
}

QString serverDatabase(int patients)
{
    return QStringLiteral("medlantis_backup_%1").arg(patients);
}

QString serverUri(const QString &database)
{
    // A benchmark server made before its script set up TLS speaks plainly on
    // the loopback; a newer one vouches for itself with its certificate.
    const QString cert = env("MEDLANTIS_TEST_PG_CERT");
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
               .arg(env("MEDLANTIS_TEST_PG_USER"), env("MEDLANTIS_TEST_PG_PORT"), database)
           + (cert.isEmpty() ? QStringLiteral("?sslmode=disable")
                             : QStringLiteral("?sslmode=verify-full&sslrootcert=") + cert);
}

QString serverPassword()
{
    return env("MEDLANTIS_TEST_PG_PASSWORD");
}

int patientsOn(const QString &where, const QString &password)
{
    try {
        Connection db;
        db.Open(where, password);
        Recordset rs;
        rs.Open(QStringLiteral("select count(*) from PatientRecords"), db, adOpenStatic,
                adLockReadOnly);
        return rs.Value(0).toInt();
    } catch (...) {
        return -1;
    }
}

const AuditWho kWho{QStringLiteral("Bench"), QStringLiteral("Administrator"),
                    QStringLiteral("bench")};

// Runs a program; its time in ms, or -1 when it failed.
double timed(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("PGPASSWORD"), serverPassword());
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

QStringList serverArgs()
{
    return {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
            env("MEDLANTIS_TEST_PG_PORT"), QStringLiteral("-U"), env("MEDLANTIS_TEST_PG_USER")};
}

void onServer(const QString &database, const QString &sql)
{
    Connection db;
    db.Open(serverUri(database), serverPassword());
    db.Execute(sql);
}

// The practices of that size: the list benchmark's file (made when missing),
// this benchmark's copy of it, and the same patients on the server.
void make(int patients, bool server)
{
    if (patientsOn(listFile(patients), QString()) != patients) {
        SyntheticOptions options;
        options.patients = patients;
        options.visitsPerPatient = 0.5;
        options.photoEvery = 1000;
        QDir().mkpath(benchFolder());
        makeSyntheticDatabase(listFile(patients), options);
    }
    if (patientsOn(workingFile(patients), QString()) != patients) {
        QFile::remove(workingFile(patients));
        if (!QFile::copy(listFile(patients), workingFile(patients)))
            throw std::runtime_error("could not copy the practice");
        QFile::setPermissions(workingFile(patients), QFile::ReadOwner | QFile::WriteOwner);
    }
    // A practice made by an earlier version gains what this one adds, as its
    // first start would, so that no operation measured does that too.
    {
        Connection db;
        db.Open(workingFile(patients), QString());
        Schema::createMissing(db);
    }
    if (!server)
        return;
    if (patientsOn(serverUri(serverDatabase(patients)), serverPassword()) == patients) {
        Connection db;
        db.Open(serverUri(serverDatabase(patients)), serverPassword());
        Schema::createMissing(db);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    onServer(QStringLiteral("postgres"),
             QStringLiteral("drop database if exists ") + serverDatabase(patients));
    onServer(QStringLiteral("postgres"),
             QStringLiteral("create database ") + serverDatabase(patients));
    {
        Connection db;
        db.Open(serverUri(serverDatabase(patients)), serverPassword());
        Schema::createMissing(db);
    }
    // The file, encrypted with the server's password as its backups are, restored into it.
    const QString encrypted = inBench(QStringLiteral("medlantis-bench-backup-%1.making.mdb")
                                          .arg(patients));
    QFile::remove(encrypted);
    QFile::copy(workingFile(patients), encrypted);
    DatabaseFiles::changePassword(encrypted, QString(), serverPassword());
    DatabaseFiles::restoreDatabase(encrypted, serverUri(serverDatabase(patients)),
                                   serverPassword());
    QFile::remove(encrypted);
    QFile::remove(DatabaseFiles::beforeRestorePath(encrypted));
    std::fprintf(stderr, "made %s on the server in %.0f s\n",
                 qPrintable(serverDatabase(patients)), timer.elapsed() / 1000.0);
}

// One operation, in this process: "<ms> <peak MB> <longest progress gap ms>".
int runOperation(int patients, bool server, bool backup)
{
    const QString database = server ? serverUri(serverDatabase(patients)) : workingFile(patients);
    const QString password = server ? serverPassword() : QString();
    const QString file = backupOf(patients, server);
    if (!backup && !QFileInfo::exists(file)) {
        std::fprintf(stderr, "no backup to restore: %s\n", qPrintable(file));
        return 1;
    }
    // Both start as the floor does, writing new files: no earlier backup of
    // that name, no undo copy of an earlier restore (removing a large file
    // costs its own time).
    if (backup)
        QFile::remove(file);
    else if (!server)
        QFile::remove(DatabaseFiles::beforeRestorePath(database));
    ::sync();
    QElapsedTimer timer;
    qint64 last = 0;
    qint64 gap = 0;
    qint64 done = -1;
    const DatabaseFiles::Progress progress = [&](qint64 now, qint64) {
        // A move is a new figure; the same one again is no move.
        if (now == done)
            return;
        done = now;
        const qint64 at = timer.nsecsElapsed();
        gap = std::max(gap, at - last);
        last = at;
    };
    timer.start();
    try {
        if (backup)
            DatabaseFiles::backupDatabase(database, file, password, progress, &kWho);
        else
            DatabaseFiles::restoreDatabase(file, database, password, progress, &kWho);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const qint64 total = timer.nsecsElapsed();
    gap = std::max(gap, total - last);
    std::printf("%.0f %.0f %.0f\n", total / 1e6, bench::peakMegabytes(), gap / 1e6);
    return 0;
}

constexpr int kRuns = 3;

// The floor of an operation, timed right after it.
double floorOf(int patients, bool server, bool backup)
{
    if (!server) {
        // The same bytes read and written, and on disk at the end, as the
        // operation must: the working file for a backup, the backup for a restore.
        const QString copy = inBench(QStringLiteral("medlantis-bench-backup-%1.cp").arg(patients));
        QFile::remove(copy);
        const double ms = timed(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                       QStringLiteral("cp \"$0\" \"$1\" && "
                                                                      "sync \"$1\""),
                                                       backup ? workingFile(patients)
                                                              : backupOf(patients, false),
                                                       copy});
        QFile::remove(copy);
        return ms;
    }
    const QString dump = inBench(QStringLiteral("medlantis-bench-backup-%1.dump").arg(patients));
    if (backup) {
        QFile::remove(dump);
        return timed(QStringLiteral("pg_dump"), serverArgs() + QStringList{
                                                    QStringLiteral("-Fc"), QStringLiteral("-Z0"),
                                                    QStringLiteral("-f"), dump,
                                                    serverDatabase(patients)});
    }
    const QString empty = serverDatabase(patients) + QStringLiteral("_floor");
    onServer(QStringLiteral("postgres"), QStringLiteral("drop database if exists ") + empty);
    onServer(QStringLiteral("postgres"), QStringLiteral("create database ") + empty);
    const double ms = timed(QStringLiteral("pg_restore"),
                            serverArgs() + QStringList{QStringLiteral("-d"), empty, dump});
    onServer(QStringLiteral("postgres"), QStringLiteral("drop database if exists ") + empty);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<int> sizes;
    QStringList engines;
    QString mode;
    QString operation;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--patients") && i + 1 < args.size())
            sizes.push_back(args[++i].toInt());
        else if (args[i] == QLatin1String("--engine") && i + 1 < args.size())
            engines << args[++i];
        else if (args[i] == QLatin1String("--make"))
            mode = args[i];
        else if (args[i] == QLatin1String("--run") && i + 1 < args.size())
            operation = args[++i];
    }
    if (sizes.empty())
        sizes = {100000, 1000000};
    if (engines.isEmpty())
        engines = {QStringLiteral("embedded"), QStringLiteral("server")};
    const bool serverAvailable = !env("MEDLANTIS_TEST_PG_PORT").isEmpty();

    if (mode == QLatin1String("--make")) {
        try {
            make(sizes.front(), engines.first() == QLatin1String("server"));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (!operation.isEmpty())
        return runOperation(sizes.front(), engines.first() == QLatin1String("server"),
                            operation == QLatin1String("backup"));

    struct Line
    {
        QString head;
        QStringList figures; // ms, peak MB, longest gap ms
    };
    std::vector<Line> lines;
    int failures = 0;
    for (int size : sizes) {
        for (const QString &engine : engines) {
            const bool server = engine == QLatin1String("server");
            if (server && !serverAvailable) {
                std::printf("%d server: no server (set MEDLANTIS_TEST_PG_* or use "
                            "tools/bench-backup.sh)\n",
                            size);
                continue;
            }
            const QStringList common = {QStringLiteral("--patients"), QString::number(size),
                                        QStringLiteral("--engine"), engine};
            if (bench::runChild(common + QStringList{QStringLiteral("--make")}).isEmpty()) {
                std::printf("%d %s: could not make the practice\n", size, qPrintable(engine));
                ++failures;
                continue;
            }
            for (const QString &op : {QStringLiteral("backup"), QStringLiteral("restore")}) {
                // The median of three, each beside its floor, and each after the
                // disk has written what came before: the disk here is shared
                // and its write-back costs whichever run it falls into.
                std::vector<double> times;
                std::vector<double> floors;
                double peak = 0;
                double gap = 0;
                for (int run = 0; run < kRuns; ++run) {
                    // The server as its autovacuum keeps it between two operations.
                    if (server)
                        onServer(serverDatabase(size), QStringLiteral("vacuum analyze"));
                    ::sync();
                    const QStringList f =
                        bench::runChild(common + QStringList{QStringLiteral("--run"), op})
                            .split(QLatin1Char(' '));
                    if (server)
                        onServer(serverDatabase(size), QStringLiteral("vacuum analyze"));
                    ::sync();
                    const double floor = floorOf(size, server, op == QLatin1String("backup"));
                    if (f.size() != 3 || floor <= 0)
                        break;
                    times.push_back(f[0].toDouble());
                    floors.push_back(floor);
                    peak = std::max(peak, f[1].toDouble());
                    gap = std::max(gap, f[2].toDouble());
                }
                if (int(times.size()) != kRuns) {
                    std::printf("%d %s %s failed\n", size, qPrintable(engine), qPrintable(op));
                    ++failures;
                    continue;
                }
                const double ms = bench::median(times);
                const double floor = bench::median(floors);
                std::printf("%d %s %s %.0f ms %.0f ms %.1fx\n", size, qPrintable(engine),
                            qPrintable(op), ms, floor, ms / floor);
                std::fflush(stdout);
                lines.push_back({QStringLiteral("%1 %2 %3").arg(size).arg(engine, op),
                                 {QString::number(ms, 'f', 0), QString::number(peak, 'f', 0),
                                  QString::number(gap, 'f', 0)}});
            }
        }
    }
    std::printf("\npeak memory and the longest wait between two moves of the progress:\n");
    for (const Line &line : lines)
        std::printf("%s peak %s MB, progress still at most %s ms\n", qPrintable(line.head),
                    qPrintable(line.figures[1]), qPrintable(line.figures[2]));
    std::printf("\nTargets at both sizes: server backup within 3x and server restore within 5x "
                "of the floor, embedded backup within 1.5x and restore within 3x of a copy, "
                "peak memory under 200 MB.\n");
    return failures ? 1 : 0;
}
