// Prints the SCRAM-SHA-256 verifier of the password read from standard input
// (one trailing newline dropped), for CREATE/ALTER ROLE ... PASSWORD: the
// server then stores and logs only the verifier, and the password itself
// never appears on a command line or in SQL text.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include <libpq-fe.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: printf '%%s' password | %s role\n", argv[0]);
        return 2;
    }
    std::string password((std::istreambuf_iterator<char>(std::cin)),
                         std::istreambuf_iterator<char>());
    if (!password.empty() && password.back() == '\n')
        password.pop_back();
    // libpq computes verifiers only through a connection object; with the
    // algorithm named it never asks a server, so one that leads nowhere serves.
    PGconn *conn = PQconnectStart("host=/nonexistent");
    if (!conn) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    char *verifier = PQencryptPasswordConn(conn, password.c_str(), argv[1], "scram-sha-256");
    password.assign(password.size(), '\0');
    if (!verifier) {
        std::fprintf(stderr, "%s", PQerrorMessage(conn));
        PQfinish(conn);
        return 1;
    }
    std::printf("%s\n", verifier);
    PQfreemem(verifier);
    PQfinish(conn);
    return 0;
}
