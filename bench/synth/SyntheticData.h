#pragma once

#include <vector>

#include <QString>

class Connection;

// A made-up practice for benchmarks and screenshots: patients with
// plausible names, dates, contact data and notes, their visits, and a
// photo now and then. The same seed gives the same data.
struct SyntheticOptions
{
    int patients = 1000;
    double visitsPerPatient = 3.0; // on average
    int photoEvery = 500;          // one patient in this many has a photo; 0 = none
    quint32 seed = 20240709;
};

struct SyntheticCounts
{
    int patients = 0;
    int visits = 0;
    int photos = 0;
};

// Appends the patients and visits to the open database, in one transaction,
// after the highest existing ids.
SyntheticCounts fillSyntheticData(Connection &conn, const SyntheticOptions &options);

// The database both benchmarks run on: "--database PATH" (default: a file in
// the temporary folder) and "--patients N" (default 100,000) are taken out of
// args; the practice is made when the file does not exist yet, with the blank
// template beside the program. Returns the database path.
QString benchDatabase(std::vector<char *> &args);

// Copies the blank template to path (replacing it) and fills it.
SyntheticCounts createSyntheticDatabase(const QString &templatePath, const QString &path,
                                        const SyntheticOptions &options);

// The same from the template beside the program, saying what it made and how
// long that took.
void makeSyntheticDatabase(const QString &path, const SyntheticOptions &options);
