#include <gtest/gtest.h>

#include "data/Dialect.h"

TEST(Dialect, TranslatesTheOlderFormsAndLeavesTheRest)
{
    struct Case
    {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        {"Delete * from UserLog where UserName = 'Bert'", "delete from UserLog where UserName = 'Bert'"},
        {"DELETE  *  FROM Users", "delete from Users"},
        {"select a.PatientID,Firstname+' '+Lastname as [Patient Name] from PatientRecords a",
         "select a.PatientID,Firstname||' '||Lastname as [Patient Name] from PatientRecords a"},
        {"select 'a' + 'b'", "select 'a' || 'b'"},
        // Numbers keep their plus; text inside literals and brackets is untouched.
        {"update T set n = n + 1 where x = 'a+b'", "update T set n = n + 1 where x = 'a+b'"},
        {"select [a+b] from T", "select [a+b] from T"},
        {"select 'it''s' + Name from T", "select 'it''s' || Name from T"},
        {"select * from [PatientRecords] where [LastName] like 'O''B%'",
         "select * from [PatientRecords] where [LastName] like 'O''B%'"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(translateSql(QString::fromUtf8(c.in)).toStdString(), c.out) << c.in;
}

TEST(Dialect, LikeIgnoresLetterCaseForAllAlphabets)
{
    EXPECT_TRUE(likeMatch(QStringLiteral("sm%"), QStringLiteral("Smith")));
    EXPECT_TRUE(likeMatch(QStringLiteral("MÜ%"), QStringLiteral("müller")));
    EXPECT_TRUE(likeMatch(QStringLiteral("дм%"), QStringLiteral("Дмитрий")));
    EXPECT_TRUE(likeMatch(QStringLiteral("%"), QString()));
    EXPECT_TRUE(likeMatch(QStringLiteral("J_n%"), QStringLiteral("Jones")));
    EXPECT_FALSE(likeMatch(QStringLiteral("sm%"), QStringLiteral("Asmith")));
    EXPECT_FALSE(likeMatch(QStringLiteral("J_n"), QStringLiteral("Jones")));
}

TEST(Dialect, PrefixLikeOnAFoldedNameReadsTheIndexRange)
{
    const QSet<QString> folded = {QStringLiteral("lastname")};
    struct Case
    {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        // A pure prefix is the range alone.
        {"select * from T where [LastName] like 'SM%'",
         "select * from T where (FoldCase([LastName]) >= 'sm' and FoldCase([LastName]) < 'sn')"},
        {"where a.LastName like 'O''B%'",
         "where (FoldCase(a.LastName) >= 'o''b' and FoldCase(a.LastName) < 'o''c')"},
        {"where LastName like 'ÖB%'",
         "where (FoldCase(LastName) >= 'öb' and FoldCase(LastName) < 'öc')"},
        // A wildcard further on narrows by the range, then the like decides.
        {"where LastName like 'M_R%'",
         "where (FoldCase(LastName) >= 'm' and FoldCase(LastName) < 'n' and LastName like 'M_R%')"},
        {"where LastName like 'SM'",
         "where (FoldCase(LastName) >= 'sm' and FoldCase(LastName) < 'sn' and LastName like 'SM')"},
        // Nothing to narrow by, another column, or an escape: left as written.
        {"where LastName like '%AR%'", "where LastName like '%AR%'"},
        {"where Notes like 'SM%'", "where Notes like 'SM%'"},
        {"where LastName like 'S!%%' escape '!'", "where LastName like 'S!%%' escape '!'"},
        {"where x = 'LastName like ''SM%'''", "where x = 'LastName like ''SM%'''"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(translateSql(QString::fromUtf8(c.in), folded).toStdString(), c.out) << c.in;
}
