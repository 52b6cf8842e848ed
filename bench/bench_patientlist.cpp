// The patient list over a synthetic practice of 100,000 patients: filling
// the whole list and one search keystroke, each beside the bare query of
// its statement, and the peak memory with the full list loaded.
//   bench_patientlist [--database FILE] [--patients N] [google benchmark flags]
// The database is the one bench_reports makes, and is made here when missing.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "data/Recordset.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "patients/frmPatientList.h"
#include "shell/AppContext.h"
#include "shell/MDIFormMain.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "synth/SyntheticData.h"

namespace {

const QString kPrefix = QStringLiteral("MA"); // Martin, Martinez, MacDonald, ...

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

AppContext *g_ctx = nullptr;
frmPatientList *g_list = nullptr;
double g_keystrokeMedianMs = 0;
double g_peakAfterListMb = 0;

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void bareQuery(benchmark::State &state, const QString &sql, int cursor, int lock)
{
    int rows = 0;
    for (auto _ : state) {
        Recordset rs;
        rs.Open(sql, g_ctx->db(), cursor, lock);
        rows = rs.RecordCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
}

void listPatients(benchmark::State &state)
{
    for (auto _ : state)
        g_list->listPatients();
    state.counters["rows"] = g_list->model().rowCount();
    g_peakAfterListMb = peakMegabytes();
}

// One keystroke: the box already shows the two letters, the handler runs.
void searchKeystroke(benchmark::State &state)
{
    g_list->txtSearch->blockSignals(true);
    g_list->txtSearch->setText(kPrefix);
    g_list->txtSearch->blockSignals(false);
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        g_list->txtSearch_Change();
        const double elapsed = timer.nsecsElapsed() / 1e6;
        ms.push_back(elapsed);
        state.SetIterationTime(elapsed / 1000.0);
    }
    std::sort(ms.begin(), ms.end());
    g_keystrokeMedianMs = ms[ms.size() / 2];
    state.counters["rows"] = g_list->model().rowCount();
    state.counters["median_ms"] = g_keystrokeMedianMs;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char *> args(argv, argv + argc);
    const QString database = benchDatabase(args);
    int restCount = int(args.size());
    benchmark::Initialize(&restCount, args.data());

    QTemporaryDir world;
    Folders folders;
    folders.program = QCoreApplication::applicationDirPath();
    folders.appData = world.filePath(QStringLiteral("appdata"));
    folders.desktop = world.path();
    folders.temp = world.path();
    folders.runtime = world.path();
    auto settings = std::make_unique<Settings>(world.filePath(QStringLiteral("settings.ini")));
    settings->SaveSetting(SettingKeys::DatabaseFile, database);
    AppContext ctx(std::move(settings), std::make_unique<BenchPrompter>(), folders);
    g_ctx = &ctx;
    SystemModule::connect(ctx);
    ctx.CurrentUser.Privilege = QStringLiteral("Administrator");

    // The list as the user sees it: a child of the shown main window.
    MDIFormMain &main = ctx.window<MDIFormMain>();
    main.show();
    g_list = &ctx.window<frmPatientList>();
    main.showChild(*g_list);
    QCoreApplication::processEvents();

    const QString searchSql =
        patientSearchSql(QStringLiteral("Last Name"), kPrefix, QStringLiteral("Last Name"), false);
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("query/list", [](benchmark::State &s) {
        bareQuery(s, patientListSql(), adOpenKeyset, adLockOptimistic);
    })->Unit(ms);
    benchmark::RegisterBenchmark("listPatients", listPatients)->Unit(ms);
    benchmark::RegisterBenchmark("query/search", [searchSql](benchmark::State &s) {
        bareQuery(s, searchSql, adOpenStatic, adLockReadOnly);
    })->Unit(ms);
    benchmark::RegisterBenchmark("txtSearch_Change", searchKeystroke)
        ->Unit(ms)
        ->UseManualTime()
        ->Iterations(31);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double listQuery = reporter.times["query/list"];
    const double list = reporter.times["listPatients"];
    const double searchQuery = reporter.times["query/search"];
    double keystroke = 0;
    for (const auto &entry : reporter.times) {
        if (entry.first.rfind("txtSearch_Change", 0) == 0)
            keystroke = entry.second;
    }
    std::printf("\n%-20s %10s %10s %8s %8s\n", "work", "work ms", "query ms", "ratio", "target");
    if (listQuery > 0 && list > 0)
        std::printf("%-20s %10.1f %10.1f %7.2fx %7s %s\n", "listPatients", list, listQuery,
                    list / listQuery, "2x", list / listQuery <= 2 ? "ok" : "OVER");
    if (searchQuery > 0 && keystroke > 0)
        std::printf("%-20s %10.1f %10.1f %7.2fx\n", "keystroke (mean)", keystroke, searchQuery,
                    keystroke / searchQuery);
    if (g_keystrokeMedianMs > 0)
        std::printf("keystroke \"%s\" median: %.1f ms (target < 50 ms) %s\n", qPrintable(kPrefix),
                    g_keystrokeMedianMs, g_keystrokeMedianMs < 50 ? "ok" : "OVER");
    if (g_peakAfterListMb > 0)
        std::printf("peak memory with the full list loaded: %.0f MB (target < 200 MB) %s\n",
                    g_peakAfterListMb, g_peakAfterListMb < 200 ? "ok" : "OVER");
    return 0;
}
