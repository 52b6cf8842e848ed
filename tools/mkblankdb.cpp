// Builds the empty template database from the schema file.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <sqlcipher/sqlite3.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkblankdb schema.sql out.mdb\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();
    std::remove(argv[2]);
    sqlite3 *db = nullptr;
    if (sqlite3_open(argv[2], &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    char *err = nullptr;
    const std::string sql = "PRAGMA journal_mode=DELETE;" + schema.str();
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "schema failed: %s\n", err ? err : "?");
        sqlite3_free(err);
        sqlite3_close(db);
        std::remove(argv[2]);
        return 1;
    }
    sqlite3_close(db);
    return 0;
}
