#include "data/Credentials.h"

#include <stdexcept>
#include <vector>

#include <QRegularExpression>

#include <sodium.h>

#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/SqlId.h"

namespace Credentials {
namespace {

void ensureLibrary()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("The password library could not be started.");
}

QString hex(const unsigned char *bytes, size_t size)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), int(size))
                                   .toHex());
}

} // namespace

QString hashPassword(const QString &password)
{
    ensureLibrary();
    const QByteArray bytes = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw std::runtime_error("Not enough memory to store the password.");
    return QString::fromLatin1(out);
}

bool isHash(const QString &stored)
{
    return stored.startsWith(QLatin1String("$argon2id$"))
           || stored.startsWith(QLatin1String("$argon2i$"));
}

bool isEnciphered(const QString &stored)
{
    // Two hexadecimal digits, then one pair per byte: a digit or a blank, a digit.
    static const QRegularExpression layout(
        QStringLiteral("\\A[0-9A-F]{2}([0-9A-F ][0-9A-F])*\\z"));
    return layout.match(stored).hasMatch();
}

Match check(const QString &stored, const QString &typed)
{
    if (isHash(stored)) {
        ensureLibrary();
        const QByteArray hash = stored.toLatin1();
        const QByteArray bytes = typed.toUtf8();
        if (hash.size() >= int(crypto_pwhash_STRBYTES))
            return Match::No;
        return crypto_pwhash_str_verify(hash.constData(), bytes.constData(),
                                        quint64(bytes.size()))
                       == 0
                   ? Match::Yes
                   : Match::No;
    }
    if (isEnciphered(stored) && !typed.isEmpty())
        return D(stored) == typed ? Match::Yes : Match::No;
    return Match::No;
}

int upgradeStoredPasswords(Connection &db)
{
    struct Old
    {
        qint64 id;
        QString stored;
        QString hash;
    };
    std::vector<Old> old;
    {
        Recordset rs;
        rs.Open(QStringLiteral("select UserID, Password from Users"), db, adOpenStatic,
                adLockReadOnly);
        for (; !rs.isEOF(); rs.MoveNext()) {
            const QString stored = rs.Text(QStringLiteral("Password"));
            if (!isHash(stored) && isEnciphered(stored))
                old.push_back({sqlId(rs.Value(0)).toLongLong(), stored, QString()});
        }
    }
    if (old.empty())
        return 0;
    // The slow hashing happens before the write lock is taken.
    for (Old &o : old)
        o.hash = hashPassword(D(o.stored));
    int upgraded = 0;
    Transaction transaction(db);
    for (const Old &o : old) {
        Recordset rs;
        rs.Open(QStringLiteral("select * from Users where UserID=") + QString::number(o.id), db);
        if (rs.isEOF() || rs.Text(QStringLiteral("Password")) != o.stored)
            continue;
        rs.setValue(QStringLiteral("Password"), o.hash);
        rs.UpdateBatch();
        ++upgraded;
    }
    transaction.commit();
    return upgraded;
}

QByteArray newToken()
{
    ensureLibrary();
    QByteArray token(32, Qt::Uninitialized);
    randombytes_buf(token.data(), size_t(token.size()));
    return token;
}

QString tokenHash(const QByteArray &token)
{
    ensureLibrary();
    unsigned char out[32];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char *>(token.constData()),
                       quint64(token.size()), nullptr, 0);
    return hex(out, sizeof out);
}

QString passwordStamp(const QString &stored)
{
    return tokenHash(stored.toUtf8());
}

} // namespace Credentials
