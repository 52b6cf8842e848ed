// The cost of storing and checking an account password: the median of 20
// hashes, 20 checks of the right password and 20 of a wrong one.
//   bench_passwords
#include <algorithm>
#include <cstdio>
#include <vector>

#include <QElapsedTimer>
#include <QString>

#include "data/Credentials.h"

namespace {

template <class Work>
double medianMs(Work work)
{
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        work(i);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return (times[9] + times[10]) / 2;
}

} // namespace

int main()
{
    const QString password = QStringLiteral("Grüße aus Köln 2021");
    QString stored;
    const double hash = medianMs([&](int) { stored = Credentials::hashPassword(password); });
    const double right = medianMs([&](int) {
        if (Credentials::check(stored, password) != Credentials::Match::Yes)
            std::fprintf(stderr, "the right password did not check\n");
    });
    const double wrong = medianMs([&](int i) {
        if (Credentials::check(stored, password + QString::number(i)) == Credentials::Match::Yes)
            std::fprintf(stderr, "a wrong password checked\n");
    });
    std::printf("password (Argon2id, interactive limits), median of 20: hash %.0f ms, "
                "check right %.0f ms, check wrong %.0f ms\n",
                hash, right, wrong);
    return 0;
}
