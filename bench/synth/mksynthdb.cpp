// Fills a database with a made-up practice, for benchmarks and screenshots:
//   mksynthdb OUT.mdb [--patients N] [--visits-per-patient X] [--photo-every K] [--seed S]
#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include "synth/SyntheticData.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Creates a database of synthetic patients and visits."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("database"), QStringLiteral("File to create."));
    const QCommandLineOption patients(QStringLiteral("patients"),
                                      QStringLiteral("Number of patients (1000)."),
                                      QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption visits(QStringLiteral("visits-per-patient"),
                                    QStringLiteral("Average visits per patient (3)."),
                                    QStringLiteral("X"), QStringLiteral("3"));
    const QCommandLineOption photos(QStringLiteral("photo-every"),
                                    QStringLiteral("One patient in K has a photo (500)."),
                                    QStringLiteral("K"), QStringLiteral("500"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed."),
                                  QStringLiteral("S"), QStringLiteral("20240709"));
    const QCommandLineOption blank(
        QStringLiteral("template"), QStringLiteral("Blank database to start from."),
        QStringLiteral("FILE"),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("dbBlank.mdb")));
    parser.addOptions({patients, visits, photos, seed, blank});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);

    SyntheticOptions options;
    options.patients = parser.value(patients).toInt();
    options.visitsPerPatient = parser.value(visits).toDouble();
    options.photoEvery = parser.value(photos).toInt();
    options.seed = parser.value(seed).toUInt();
    QElapsedTimer timer;
    timer.start();
    try {
        const SyntheticCounts made = createSyntheticDatabase(
            parser.value(blank), parser.positionalArguments().first(), options);
        std::printf("%d patients, %d visits, %d photos in %.1f s\n", made.patients, made.visits,
                    made.photos, timer.elapsed() / 1000.0);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mksynthdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
