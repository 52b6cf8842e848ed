// Exports and report pagination over a synthetic practice of 100,000
// patients, each beside the bare query that feeds it.
//   bench_reports [--database FILE] [--patients N] [google benchmark flags]
// The database is made on first use and kept for later runs.

#include <cstdio>
#include <map>
#include <string>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include "BenchTools.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "reports/ReportEngine.h"
#include "reports/ReportLayouts.h"
#include "reports/modSaveRecordset.h"
#include "synth/SyntheticData.h"

using bench::peakMegabytes;
using bench::RatioReporter;

namespace {

const QString kExportSql = QStringLiteral(
    "Select PatientID as [Patient ID],LastName as [Last Name],FirstName as [First Name],"
    "MiddleName as [Middle Name],DateOfBirth as [Birth Date],Gender,MaritalStatus as [Marital "
    "Status],Phone as [Phone Number],Mobile as [Mobile Number] from PatientRecords");
const QString kPrintSql = QStringLiteral("Select * from PatientRecords");

Connection g_conn;
QString g_out; // scratch folder for the exports

void query(benchmark::State &state, const QString &sql)
{
    for (auto _ : state) {
        Recordset rs;
        rs.Open(sql, g_conn);
        benchmark::DoNotOptimize(rs.RecordCount());
    }
}

// The writer alone, on a recordset already open and moved to its first row.
template <class Write>
void exportTo(benchmark::State &state, const QString &extension, Write write)
{
    Recordset rs;
    rs.Open(kExportSql, g_conn);
    const QString file = QDir(g_out).filePath(QStringLiteral("patients.") + extension);
    for (auto _ : state) {
        rs.MoveFirst();
        write(rs, file);
    }
    state.counters["rows"] = rs.RecordCount();
    state.counters["MB"] = QFileInfo(file).size() / 1e6;
}

// What printing the patient list computes: the rows the layout prints, the
// pages, and every text on every page.
void paginateAll(benchmark::State &state)
{
    Recordset rs;
    rs.Open(kPrintSql, g_conn);
    const ReportLayout layout = DRPatientList();
    int pages = 0;
    for (auto _ : state) {
        const ReportDocument doc(layout, ReportData::fromRecordset(rs, layout.fieldNames()));
        size_t texts = 0;
        for (int p = 0; p < doc.pageCount(); ++p)
            texts += doc.texts(p).size();
        benchmark::DoNotOptimize(texts);
        pages = doc.pageCount();
    }
    state.counters["pages"] = pages;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<char *> args(argv, argv + argc);
    const QString database = benchDatabase(args);
    int restCount = int(args.size());
    benchmark::Initialize(&restCount, args.data());
    g_conn.Open(database, QString());
    QDir scratch(QDir::temp().filePath(QStringLiteral("medlantis-bench-out")));
    scratch.mkpath(QStringLiteral("."));
    g_out = scratch.path();

    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("query/export (9 columns)",
                                 [](benchmark::State &s) { query(s, kExportSql); })
        ->Unit(ms);
    benchmark::RegisterBenchmark("export/CSV", [](benchmark::State &s) {
        exportTo(s, QStringLiteral("csv"), SaveRecordsetToCSV);
    })->Unit(ms);
    benchmark::RegisterBenchmark("export/XML", [](benchmark::State &s) {
        exportTo(s, QStringLiteral("xml"), SaveRecordsetToXML);
    })->Unit(ms);
    benchmark::RegisterBenchmark("export/TXT", [](benchmark::State &s) {
        exportTo(s, QStringLiteral("txt"), SaveRecordsetToTXT);
    })->Unit(ms);
    benchmark::RegisterBenchmark("export/XLSX", [](benchmark::State &s) {
        exportTo(s, QStringLiteral("xlsx"), [](Recordset &rs, const QString &file) {
            writeRecordsetXlsx(rs, file, g_out);
        });
    })->Unit(ms);
    benchmark::RegisterBenchmark("query/print (Select *)",
                                 [](benchmark::State &s) { query(s, kPrintSql); })
        ->Unit(ms);
    benchmark::RegisterBenchmark("paginate/DRPatientList", paginateAll)->Unit(ms);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double exportQuery = reporter.times["query/export (9 columns)"];
    const double printQuery = reporter.times["query/print (Select *)"];
    const struct
    {
        const char *name;
        double query;
        double target;
    } rows[] = {
        {"export/CSV", exportQuery, 3},  {"export/XML", exportQuery, 3},
        {"export/TXT", exportQuery, 3},  {"export/XLSX", exportQuery, 10},
        {"paginate/DRPatientList", printQuery, 5},
    };
    std::printf("\n%-24s %10s %10s %8s %8s %7s\n", "work", "work ms", "query ms", "ratio",
                "target", "");
    for (const auto &r : rows) {
        if (!reporter.times.count(r.name) || r.query <= 0)
            continue;
        const double work = reporter.times[r.name];
        const double ratio = work / r.query;
        std::printf("%-24s %10.1f %10.1f %7.2fx %7.0fx %7s\n", r.name, work, r.query, ratio,
                    r.target, ratio <= r.target ? "ok" : "OVER");
    }
    std::printf("(ratio = the work alone / the bare query that feeds it)\n");
    std::printf("peak memory: %.0f MB (target < 300 MB)\n", peakMegabytes());
    scratch.removeRecursively();
    return 0;
}
