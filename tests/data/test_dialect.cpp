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
    const QHash<QString, QString> folded = {{QStringLiteral("lastname"),
                                             QStringLiteral("FoldedLastName")}};
    struct Case
    {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        // The range of the folded column narrows; the like on the name decides,
        // so a folded form that another tool wrote wrongly finds nothing.
        // A prefix of plain ASCII first tries the name's own range, which needs
        // no call of the like.
        {"select * from T where [LastName] like 'SM%'",
         "select * from T where ([FoldedLastName] >= 'sm' and [FoldedLastName] < 'sn' and "
         "([LastName] >= 'sm' COLLATE NOCASE and [LastName] < 'sn' COLLATE NOCASE or "
         "[LastName] like 'SM%'))"},
        {"where a.LastName like 'O''B%'",
         "where (a.[FoldedLastName] >= 'o''b' and a.[FoldedLastName] < 'o''c' and "
         "(a.LastName >= 'o''b' COLLATE NOCASE and a.LastName < 'o''c' COLLATE NOCASE or "
         "a.LastName like 'O''B%'))"},
        // NOCASE would read a bound of "A" as "a".
        {"where LastName like '@%'",
         "where ([FoldedLastName] >= '@' and [FoldedLastName] < 'A' and LastName like '@%')"},
        {"where LastName like 'ÖB%'",
         "where ([FoldedLastName] >= 'öb' and [FoldedLastName] < 'öc' and LastName like 'ÖB%')"},
        {"where LastName like 'M_R%'",
         "where ([FoldedLastName] >= 'm' and [FoldedLastName] < 'n' and LastName like 'M_R%')"},
        {"where LastName like 'SM'",
         "where ([FoldedLastName] >= 'sm' and [FoldedLastName] < 'sn' and LastName like 'SM')"},
        // The sort key of a name is its folded column; of anything else, the function.
        {"order by FoldCase([LastName]) desc, FoldCase( a.LastName ), FoldCase(Notes)",
         "order by [FoldedLastName] desc, a.[FoldedLastName], FoldCase(Notes)"},
        // Nothing to narrow by, another column, or an escape: left as written.
        {"where LastName like '%AR%'", "where LastName like '%AR%'"},
        {"where Notes like 'SM%'", "where Notes like 'SM%'"},
        {"where LastName like 'S!%%' escape '!'", "where LastName like 'S!%%' escape '!'"},
        {"where x = 'LastName like ''SM%'''", "where x = 'LastName like ''SM%'''"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(translateSql(QString::fromUtf8(c.in), folded).toStdString(), c.out) << c.in;
}
