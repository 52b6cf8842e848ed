// Builds the empty template database from the schema compiled into the program.
#include <cstdio>

#include <QFile>
#include <QString>

#include "data/DbError.h"
#include "data/Schema.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkblankdb out.mdb\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QFile::remove(out);
    try {
        Schema::createDatabaseFile(out);
    } catch (const DbError &e) {
        std::fprintf(stderr, "schema failed: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
