// Prints the SQL that creates or upgrades a practice's server database as
// its owner and lets the workstations' role in (tools/create-practice-database.sh
// runs it through psql):
//
//   medlantis-server-schema <owner role> <workstations' role>
#include <cstdio>

#include <QRegularExpression>
#include <QString>

#include "data/Schema.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: medlantis-server-schema <owner role> <workstations' role>\n", stderr);
        return 2;
    }
    const QString owner = QString::fromLocal8Bit(argv[1]);
    const QString desks = QString::fromLocal8Bit(argv[2]);
    const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]+$"));
    if (!name.match(owner).hasMatch() || !name.match(desks).hasMatch() || owner == desks) {
        std::fputs("Use two different role names of letters, digits and _ only.\n", stderr);
        return 2;
    }
    std::fputs(Schema::serverScript(owner, desks).toUtf8().constData(), stdout);
    return 0;
}
