#include <limits>

#include <QDateTime>

#include <gtest/gtest.h>

#include "data/DbError.h"
#include "support/TestWorld.h"
#include "users/UserSession.h"

namespace {

const QDateTime kAfternoon(QDate(2021, 8, 31), QTime(14, 5, 9));

void signInAs(TestWorld &w, const QString &name, const QString &privilege)
{
    w.ctx().CurrentUser.UserName = name;
    w.ctx().CurrentUser.Privilege = privilege;
}

QString logText(TestWorld &w, int logId, const char *column)
{
    return w.scalar(QStringLiteral("select %1 from UserLog where LogID=%2")
                        .arg(QLatin1String(column))
                        .arg(logId))
        .toString();
}

} // namespace

TEST(UserLogFormats, DateAndTwelveHourTimeWithLowerCaseSuffix)
{
    struct Case
    {
        QTime time;
        const char *text;
    };
    const Case cases[] = {{QTime(14, 5, 9), "02:05:09 pm"},
                          {QTime(0, 0, 1), "12:00:01 am"},
                          {QTime(12, 30, 0), "12:30:00 pm"},
                          {QTime(9, 7, 5), "09:07:05 am"}};
    for (const Case &c : cases)
        EXPECT_EQ(logTimeText(QDateTime(QDate(2021, 8, 31), c.time)), QLatin1String(c.text));
    EXPECT_EQ(logDateText(kAfternoon), QStringLiteral("08/31/2021"));
    EXPECT_EQ(logDateText(QDateTime(QDate(2022, 1, 2), QTime(1, 0))),
              QStringLiteral("01/02/2022"));
}

TEST(FindUserByName, MatchesTheExactNameAndLeavesTheCurrentUserAlone)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(7, QStringLiteral("Anna"), QStringLiteral("pa'ss word"), QStringLiteral("Staff"));

    UserRecord u;
    EXPECT_FALSE(FindUserByName(w.db(), QStringLiteral("anna"), u));
    EXPECT_FALSE(FindUserByName(w.db(), QStringLiteral("Ann"), u));
    EXPECT_FALSE(FindUserByName(w.db(), QStringLiteral("Admin' or '1'='1"), u));
    EXPECT_EQ(u.UserID, 0);

    ASSERT_TRUE(FindUserByName(w.db(), QStringLiteral("Anna"), u));
    EXPECT_EQ(u.UserID, 7);
    EXPECT_EQ(u.UserName, QStringLiteral("Anna"));
    EXPECT_EQ(u.Privilege, QStringLiteral("Staff"));
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 0);
}

TEST(LogTimeIn, NumbersAfterTheHighestLogIdAndRemembersTheRow)
{
    TestWorld w;
    signInAs(w, QStringLiteral("Anna"), QStringLiteral("Staff"));

    LogTimeIn(w.ctx(), kAfternoon);
    EXPECT_EQ(w.ctx().OwnLogID, 1);
    EXPECT_EQ(logText(w, 1, "UserName"), QStringLiteral("Anna"));
    EXPECT_EQ(logText(w, 1, "Privilege"), QStringLiteral("Staff"));
    EXPECT_EQ(logText(w, 1, "LogDate"), QStringLiteral("08/31/2021"));
    EXPECT_EQ(logText(w, 1, "TimeIn"), QStringLiteral("02:05:09 pm"));
    EXPECT_TRUE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=1")).isNull());

    // Gaps do not matter: the highest number wins, whatever the row count.
    w.exec(QStringLiteral("delete from UserLog"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (5, 'x'), (41, 'y')"));
    LogTimeIn(w.ctx(), kAfternoon);
    EXPECT_EQ(w.ctx().OwnLogID, 42);
    EXPECT_EQ(logText(w, 42, "UserName"), QStringLiteral("Anna"));
}

TEST(LogTimeIn, LargestLogIdFailsInsteadOfWrapping)
{
    TestWorld w;
    signInAs(w, QStringLiteral("Anna"), QStringLiteral("Staff"));
    const qint64 largest = std::numeric_limits<qint32>::max();
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (%1, 'x')").arg(largest));

    EXPECT_THROW(LogTimeIn(w.ctx(), kAfternoon), DbError);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_EQ(w.ctx().OwnLogID, 0);

    // 32767, the old 16-bit limit, is no limit any more.
    w.exec(QStringLiteral("delete from UserLog"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (32767, 'x')"));
    LogTimeIn(w.ctx(), kAfternoon);
    EXPECT_EQ(w.ctx().OwnLogID, 32768);
}

TEST(LogTimeOut, WritesIntoThisRunsOwnRowNotTheNewest)
{
    TestWorld w;
    signInAs(w, QStringLiteral("Anna"), QStringLiteral("Staff"));
    LogTimeIn(w.ctx(), kAfternoon);
    // Another workstation on the shared file signs in later.
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (2, 'Other')"));

    LogTimeOut(w.ctx(), QDateTime(QDate(2021, 8, 31), QTime(17, 30, 0)));
    EXPECT_EQ(logText(w, 1, "TimeOut"), QStringLiteral("05:30:00 pm"));
    EXPECT_TRUE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=2")).isNull());
}

TEST(LogTimeOut, WithoutOwnRowWritesNothing)
{
    // This run's sign-in row failed; the newest row is another workstation's session.
    TestWorld w;
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (3, 'a'), (9, 'b')"));
    ASSERT_EQ(w.ctx().OwnLogID, 0);
    LogTimeOut(w.ctx(), kAfternoon);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from UserLog where TimeOut is not null"))
                  .toInt(),
              0);

    // An empty log is no error either.
    w.exec(QStringLiteral("delete from UserLog"));
    EXPECT_NO_THROW(LogTimeOut(w.ctx(), kAfternoon));
}

TEST(LogTimeOut, OwnRowGoneTouchesNoOtherRow)
{
    TestWorld w;
    signInAs(w, QStringLiteral("Anna"), QStringLiteral("Staff"));
    LogTimeIn(w.ctx(), kAfternoon);
    w.exec(QStringLiteral("delete from UserLog"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (4, 'Other')"));

    LogTimeOut(w.ctx(), kAfternoon);
    EXPECT_TRUE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=4")).isNull());
}
