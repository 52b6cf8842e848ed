#include <gtest/gtest.h>

#include <QStringList>

#include "data/Cipher.h"

TEST(Cipher, MatchesTheStoredValuesOfExistingDatabases)
{
    EXPECT_EQ(E(QStringLiteral("Administrator")), QStringLiteral("2921CE77AB51F12EE91733EC17C2"));
    // Codes below 16 are padded with a space, the starting pair with a zero.
    EXPECT_EQ(E(QStringLiteral("Staff")), QStringLiteral("2937E0 924C1"));
    EXPECT_EQ(E(QString()), QStringLiteral("29"));
    EXPECT_EQ(D(QStringLiteral("29")), QString());
}

TEST(Cipher, RoundTripsEveryKindOfText)
{
    const QStringList texts = {
        QStringLiteral("Anna"), QStringLiteral("anna"), QStringLiteral("O'Hara"),
        QStringLiteral("pass word 12345!"), QStringLiteral("Zoë Müller"),
        QStringLiteral("Дмитрий"), QStringLiteral("山田太郎"), QString(40, QLatin1Char('x')),
    };
    for (const QString &t : texts) {
        const QString stored = E(t);
        EXPECT_EQ(stored, E(t)) << "deterministic: " << t.toStdString();
        EXPECT_EQ(D(stored), t) << t.toStdString();
        for (QChar c : stored)
            EXPECT_TRUE(c == QLatin1Char(' ') || QStringLiteral("0123456789ABCDEF").contains(c));
    }
    // Every single-byte code 1..254 survives.
    QByteArray all;
    for (int c = 1; c < 128; ++c)
        all.append(char(c));
    EXPECT_EQ(D(E(QString::fromLatin1(all))), QString::fromLatin1(all));
}

TEST(Cipher, UsesLongerKeysCyclicallyAndRejectsOtherModes)
{
    const QString oneKey = Cipher(QStringLiteral("E"), QStringLiteral("K"), QStringLiteral("abc"), 0.5);
    const QString twoKeys = Cipher(QStringLiteral("E"), QStringLiteral("KQ"), QStringLiteral("abc"), 0.5);
    // The first character uses the first key character in both.
    EXPECT_EQ(oneKey.left(4), twoKeys.left(4));
    EXPECT_NE(oneKey, twoKeys);
    EXPECT_EQ(Cipher(QStringLiteral("D"), QStringLiteral("KQ"), twoKeys, 0.5), QStringLiteral("abc"));
    EXPECT_EQ(Cipher(QStringLiteral("e"), QStringLiteral("K"), QStringLiteral("abc"), 0.5), QString());
}
