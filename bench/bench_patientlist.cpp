// The patient list at three sizes of practice, on both engines: how long the
// first screen of the list takes, a search keystroke (a two-letter and a
// four-letter prefix, and the two letters in the order of the other name;
// medians), reading the whole list to its end, and the process's peak memory.
//   bench_patientlist [--patients N] [--engine embedded|server]
// Without --patients it runs 10,000, 100,000 and 1,000,000 patients; without
// --engine both engines. Each figure comes from a process of its own, so the
// peak memory is that of one list. The synthetic databases are made once and
// kept: files in the benchmark folder (MEDLANTIS_BENCH_DIR, or the temporary
// folder), and databases medlantis_bench_<N> on the server that the
// MEDLANTIS_TEST_PG_* variables name (tools/bench-patientlist.sh starts one).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "patients/frmPatientList.h"
#include "shell/AppContext.h"
#include "app/MDIFormMain.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/StatusBarPanes.h"
#include "shell/SystemModule.h"
#include "synth/SyntheticData.h"

using bench::median;
using bench::peakMegabytes;
using bench::runChild;

namespace {

// No one answers boxes here: any box means the run is not measuring what it should.
class BenchPrompter : public Prompter
{
public:
    MsgAnswer message(const QString &text, const QString &title, MsgIcon, MsgButtons) override
    {
        std::fprintf(stderr, "unexpected box \"%s\": %s\n", qPrintable(title), qPrintable(text));
        std::exit(2);
    }
    QString saveFile(const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return {}; }
    QString browseFolder(const QString &, const QString &) override { return {}; }
    bool openUrl(const QString &) override { return false; }
};

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

bool serverConfigured()
{
    return !env("MEDLANTIS_TEST_PG_PORT").isEmpty();
}

QString serverUri(const QString &database)
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
        .arg(env("MEDLANTIS_TEST_PG_USER"), env("MEDLANTIS_TEST_PG_PORT"), database);
}

QString benchFolder()
{
    const QString dir = env("MEDLANTIS_BENCH_DIR");
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

QString fileFor(int patients)
{
    return QDir(benchFolder()).filePath(QStringLiteral("medlantis-bench-list-%1.mdb").arg(patients));
}

QString serverDatabaseFor(int patients)
{
    return QStringLiteral("medlantis_bench_%1").arg(patients);
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

// The embedded practice of that size, made when missing.
void makeFile(int patients)
{
    const QString path = fileFor(patients);
    if (QFileInfo::exists(path) && patientsOn(path, QString()) == patients)
        return;
    SyntheticOptions options;
    options.patients = patients;
    options.visitsPerPatient = 0.5;
    options.photoEvery = 1000;
    QDir().mkpath(benchFolder());
    makeSyntheticDatabase(path, options);
}

// The same patients on the server, copied from the file.
void makeServerDatabase(int patients)
{
    const QString password = env("MEDLANTIS_TEST_PG_PASSWORD");
    const QString database = serverDatabaseFor(patients);
    if (patientsOn(serverUri(database), password) == patients)
        return;
    makeFile(patients);
    QElapsedTimer timer;
    timer.start();
    {
        Connection admin;
        admin.Open(serverUri(QStringLiteral("postgres")), password);
        admin.Execute(QStringLiteral("drop database if exists ") + database);
        admin.Execute(QStringLiteral("create database ") + database);
    }
    Connection server;
    server.Open(serverUri(database), password);
    // The test server commits without waiting for its log; the vacuum below
    // can mark pages visible only once the copy's commit is on disk.
    server.Execute(QStringLiteral("set synchronous_commit to on"));
    Schema::createMissing(server);
    // The patients as a restore brings them in, a page at a time.
    Connection file;
    file.Open(fileFor(patients), QString());
    QStringList columns;
    for (const Schema::TableShape &shape : Schema::tables()) {
        if (shape.name == QLatin1String("PatientRecords"))
            columns = shape.columns;
    }
    PgEngine &pg = dynamic_cast<PgEngine &>(server.engine());
    Transaction transaction(server);
    for (qint64 last = 0;;) {
        const ResultRows rows = file.engine().query(
            QStringLiteral("select [%1] from PatientRecords where PatientID > %2 order by "
                           "PatientID limit 2000")
                .arg(columns.join(QStringLiteral("],[")))
                .arg(last),
            false);
        if (rows.cells.empty())
            break;
        pg.insertRows(QStringLiteral("PatientRecords"), columns, rows);
        last = rows.value(rows.cells[rows.cells.size() - size_t(rows.cols)]).toLongLong();
    }
    transaction.commit();
    // As the server's autovacuum does after a bulk load: until the pages are
    // marked all-visible, a count reads the table besides the index.
    server.Execute(QStringLiteral("vacuum analyze PatientRecords"));
    std::fprintf(stderr, "made %s on the server in %.0f s\n", qPrintable(database),
                 timer.elapsed() / 1000.0);
}

// Each load's times: until its lines are painted, until its count shows.
struct Times
{
    std::vector<double> lines;
    std::vector<double> counted;
};

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// One line of the table: the first screen, the keystrokes "MA" and "MART"
// (each until painted and until counted), the scroll to the end, the peak
// memory before and after that scroll, the bare statements, and "MA" again
// in the order of the first names.
int measure(int patients, bool server)
{
    QTemporaryDir world;
    Folders folders;
    folders.program = QCoreApplication::applicationDirPath();
    folders.appData = world.filePath(QStringLiteral("appdata"));
    folders.desktop = world.path();
    folders.temp = world.path();
    folders.runtime = world.path();
    auto settings = std::make_unique<Settings>(world.filePath(QStringLiteral("settings.ini")));
    settings->SaveSetting(SettingKeys::DatabaseFile,
                          server ? serverUri(serverDatabaseFor(patients)) : fileFor(patients));
    if (server)
        settings->SaveSetting(SettingKeys::DatabasePassword, env("MEDLANTIS_TEST_PG_PASSWORD"));
    AppContext ctx(std::move(settings), std::make_unique<BenchPrompter>(), folders);
    SystemModule::connect(ctx);
    useMainWindow(ctx);
    ctx.CurrentUser.Privilege = QStringLiteral("Administrator");

    // The list as the user sees it: a child of the shown main window.
    MDIFormMain &main = ctx.window<MDIFormMain>();
    main.resize(1280, 800);
    main.show();
    frmPatientList &list = ctx.window<frmPatientList>();
    main.showChild(list);
    QCoreApplication::processEvents();

    // One load as the user sees it: the lines in the model and painted (the
    // first screen), then the exact count in the status pane, which follows
    // one turn of the event loop later when the list is long.
    QLabel *pane = main.StatusBar1->pane(0);
    const auto timed = [&](const std::function<void()> &load, Times &times) {
        pane->clear();
        QElapsedTimer timer;
        timer.start();
        load();
        list.ListView1->viewport()->repaint();
        times.lines.push_back(msSince(timer));
        for (int turns = 0; !pane->text().startsWith(QLatin1String("Record ")); ++turns) {
            if (turns > 100)
                return false;
            QCoreApplication::processEvents();
        }
        times.counted.push_back(msSince(timer));
        return list.model().rowCount() >= qMin(50, patients);
    };

    Times first;
    for (int i = 0; i < 21; ++i) {
        if (!timed([&] { list.listPatients(); }, first)) {
            std::fprintf(stderr, "the list shows %d lines and \"%s\"\n",
                         list.model().rowCount(), qPrintable(pane->text()));
            return 1;
        }
    }

    // One keystroke: the box already shows the letters, then the handler runs.
    const auto keystroke = [&](const QString &typed, Times &times) {
        list.txtSearch->blockSignals(true);
        list.txtSearch->setText(typed);
        list.txtSearch->blockSignals(false);
        for (int i = 0; i < 31; ++i) {
            if (!timed([&] { list.txtSearch_Change(); }, times)) {
                std::fprintf(stderr, "the search for %s shows nothing\n", qPrintable(typed));
                return false;
            }
        }
        return true;
    };
    Times two;
    Times four;
    Times other; // "MA" in the last names, in the order of the first names
    if (!keystroke(QStringLiteral("MA"), two) || !keystroke(QStringLiteral("MART"), four))
        return 1;
    list.cboSortBy->blockSignals(true);
    list.cboSortBy->setCurrentIndex(1);
    list.cboSortBy->blockSignals(false);
    if (!keystroke(QStringLiteral("MA"), other))
        return 1;
    list.cboSortBy->setCurrentIndex(0);

    // The bare statements that feed the list: the same model with no window,
    // its first page and its count.
    const auto bare = [&](const QString &condition) {
        PatientListQuery query;
        query.condition = condition;
        std::vector<double> ms;
        for (int i = 0; i < 21; ++i) {
            PatientListModel model;
            QElapsedTimer timer;
            timer.start();
            model.open(ctx.db(), query);
            model.totalCount();
            ms.push_back(msSince(timer));
        }
        return median(ms);
    };
    const double bareList = bare(QString());
    const double bareSearch =
        bare(patientSearchCondition(QStringLiteral("Last Name"), QStringLiteral("MA")));
    const double searched = peakMegabytes();

    // Reading the whole list, as scrolling to its end does.
    list.listPatients();
    QElapsedTimer timer;
    timer.start();
    while (list.model().canFetchMore(QModelIndex()))
        list.model().fetchMore(QModelIndex());
    // The view lays out every line it now has and shows the last ones.
    list.ListView1->scrollToBottom();
    list.ListView1->viewport()->repaint();
    const double scroll = msSince(timer);
    if (list.model().rowCount() != patients || list.model().totalCount() != patients) {
        std::fprintf(stderr, "the list read %d of %d patients\n", list.model().rowCount(),
                     patients);
        return 1;
    }
    std::printf("%.2f %.2f %.2f %.2f %.2f %.2f %.0f %.0f %.0f %.2f %.2f %.2f %.2f\n",
                median(first.lines), median(first.counted), median(two.lines),
                median(two.counted), median(four.lines), median(four.counted), scroll, searched,
                peakMegabytes(), bareList, bareSearch, median(other.lines),
                median(other.counted));
    return 0;
}


} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<int> sizes;
    QStringList engines;
    QString mode;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--patients") && i + 1 < args.size())
            sizes.push_back(args[++i].toInt());
        else if (args[i] == QLatin1String("--engine") && i + 1 < args.size())
            engines << args[++i];
        else if (args[i] == QLatin1String("--make") || args[i] == QLatin1String("--measure"))
            mode = args[i];
    }
    if (sizes.empty())
        sizes = {10000, 100000, 1000000};
    if (engines.isEmpty())
        engines = {QStringLiteral("embedded"), QStringLiteral("server")};

    if (mode == QLatin1String("--make")) {
        if (engines.first() == QLatin1String("server"))
            makeServerDatabase(sizes.front());
        else
            makeFile(sizes.front());
        return 0;
    }
    if (mode == QLatin1String("--measure"))
        return measure(sizes.front(), engines.first() == QLatin1String("server"));

    // Each load in two figures: until its lines are painted, then until the
    // status pane shows "Record 1 of n".
    std::printf("%10s  %-8s  %-17s  %-17s  %-17s  %-17s  %9s  %-15s\n", "", "", "first screen",
                "keystroke 'MA'", "keystroke 'MART'", "'MA' by first", "scroll", "peak memory");
    std::printf("%10s  %-8s  %-17s  %-17s  %-17s  %-17s  %9s  %-15s\n", "patients", "engine",
                "lines / count", "lines / count", "lines / count", "name: lines/count",
                "to end", "list / scrolled");
    int failures = 0;
    QStringList beside; // the lines of the second table
    for (int size : sizes) {
        for (const QString &engine : engines) {
            if (engine == QLatin1String("server") && !serverConfigured()) {
                std::printf("%10d  %-8s  (no server: set MEDLANTIS_TEST_PG_* or use "
                            "tools/bench-patientlist.sh)\n",
                            size, "server");
                continue;
            }
            const QStringList common = {QStringLiteral("--patients"), QString::number(size),
                                        QStringLiteral("--engine"), engine};
            if (runChild(common + QStringList{QStringLiteral("--make")}).isEmpty()) {
                std::printf("%10d  %-8s  could not make the database\n", size, qPrintable(engine));
                ++failures;
                continue;
            }
            const QStringList f = runChild(common + QStringList{QStringLiteral("--measure")})
                                      .split(QLatin1Char(' '));
            if (f.size() != 13) {
                std::printf("%10d  %-8s  failed\n", size, qPrintable(engine));
                ++failures;
                continue;
            }
            const auto pair = [&](int i) {
                return QStringLiteral("%1 / %2 ms").arg(f[i], 5).arg(f[i + 1], 6);
            };
            std::printf("%10d  %-8s  %-17s  %-17s  %-17s  %-17s  %6s ms  %3s / %3s MB\n", size,
                        qPrintable(engine), qPrintable(pair(0)), qPrintable(pair(2)),
                        qPrintable(pair(4)), qPrintable(pair(11)), qPrintable(f[6]),
                        qPrintable(f[7]), qPrintable(f[8]));
            std::fflush(stdout);
            const auto ratio = [&](int window, int statements) {
                return QStringLiteral("%1 ms  %2 ms  %3x")
                    .arg(f[window], 6)
                    .arg(f[statements], 6)
                    .arg(f[window].toDouble() / f[statements].toDouble(), 4, 'f', 1);
            };
            beside << QStringLiteral("%1  %2  %3    %4")
                          .arg(size, 10)
                          .arg(engine, -8)
                          .arg(ratio(1, 9), -22)
                          .arg(ratio(3, 10));
        }
    }
    // Each load until counted beside its statements alone, read by the same
    // model with no window.
    std::printf("\n%10s  %-8s  %-22s    %-22s\n", "", "", "first screen", "keystroke 'MA'");
    std::printf("%10s  %-8s  %-22s    %-22s\n", "patients", "engine", "window     bare   ratio",
                "window     bare   ratio");
    for (const QString &line : beside)
        std::printf("%s\n", qPrintable(line));
    std::printf("\nTargets at 1,000,000 patients: first screen < 50 ms, keystroke median < 5 ms "
                "(lines), peak memory < 200 MB, each within 3x of the figure at 10,000.\n"
                "Times are medians; the scroll to the end reads every patient, so it grows "
                "with the practice.\n");
    return failures ? 1 : 0;
}
