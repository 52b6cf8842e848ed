#include "data/Cipher.h"

#include <cmath>

#include <QByteArray>

#include "data/DbError.h"

namespace {

int startValue(double seed)
{
    // Round half to even, as the original arithmetic did.
    const double scaled = std::nearbyint(seed * 10000.0);
    return int(std::fmod(scaled, 255.0)) + 1;
}

QString hexPair(int value, QChar pad)
{
    QString h = QString::number(value, 16).toUpper();
    if (h.size() < 2)
        h.prepend(pad);
    return h;
}

} // namespace

QString Cipher(const QString &mode, const QString &key, const QString &text, double seed)
{
    if (mode != QLatin1String("E") && mode != QLatin1String("D"))
        return QString();
    const QByteArray keyBytes = key.toUtf8();
    if (keyBytes.isEmpty())
        throw DbError(
            5, QStringLiteral("Invalid procedure call or argument: the cipher key is empty."));
    int keyPos = 0;
    auto nextKey = [&]() {
        keyPos = keyPos < keyBytes.size() ? keyPos + 1 : 1;
        return int(quint8(keyBytes.at(keyPos - 1)));
    };

    if (mode == QLatin1String("E")) {
        int chain = startValue(seed);
        QString out = hexPair(chain, QLatin1Char('0'));
        const QByteArray bytes = text.toUtf8();
        for (char ch : bytes) {
            const int s = (int(quint8(ch)) + chain) % 255;
            const int v = s ^ nextKey();
            out += hexPair(v, QLatin1Char(' '));
            chain = v;
        }
        return out;
    }

    if (text.size() < 2)
        return QString();
    int chain = text.left(2).trimmed().toInt(nullptr, 16);
    QByteArray clear;
    for (int i = 2; i < text.size(); i += 2) {
        const int v = text.mid(i, 2).trimmed().toInt(nullptr, 16);
        const int w = nextKey() ^ v;
        const int code = w <= chain ? w + 255 - chain : w - chain;
        clear.append(char(code & 0xff));
        chain = v;
    }
    return QString::fromUtf8(clear);
}

QString E(const QString &text)
{
    return Cipher(QStringLiteral("E"), cipherKey(), text, kCipherSeed);
}

QString D(const QString &text)
{
    return Cipher(QStringLiteral("D"), cipherKey(), text, kCipherSeed);
}
