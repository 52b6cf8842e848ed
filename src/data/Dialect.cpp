#include "data/Dialect.h"

#include <QRegularExpression>

namespace {

// Replaces a "+" with "||" where a string literal stands on either side of it.
QString concatenationToPipes(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    bool inLiteral = false;
    bool lastTokenWasLiteral = false; // last non-blank thing outside a literal closed one
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (inLiteral) {
            out += c;
            if (c == QLatin1Char('\'')) {
                if (i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char('\'')) {
                    out += sql.at(++i);
                } else {
                    inLiteral = false;
                    lastTokenWasLiteral = true;
                }
            }
            continue;
        }
        if (c == QLatin1Char('\'')) {
            inLiteral = true;
            out += c;
            continue;
        }
        if (c == QLatin1Char('[')) {
            // Bracketed names may hold any character; copy them whole.
            const int end = sql.indexOf(QLatin1Char(']'), i);
            const int stop = end < 0 ? sql.size() - 1 : end;
            out += sql.mid(i, stop - i + 1);
            i = stop;
            lastTokenWasLiteral = false;
            continue;
        }
        if (c == QLatin1Char('+')) {
            int j = i + 1;
            while (j < sql.size() && sql.at(j).isSpace())
                ++j;
            const bool literalFollows = j < sql.size() && sql.at(j) == QLatin1Char('\'');
            out += (lastTokenWasLiteral || literalFollows) ? QStringLiteral("||")
                                                           : QStringLiteral("+");
            lastTokenWasLiteral = false;
            continue;
        }
        if (!c.isSpace())
            lastTokenWasLiteral = false;
        out += c;
    }
    return out;
}

bool likeFrom(const QString &p, int pi, const QString &t, int ti, QChar escape)
{
    while (pi < p.size()) {
        const QChar pc = p.at(pi);
        if (!escape.isNull() && pc == escape && pi + 1 < p.size()) {
            if (ti >= t.size() || t.at(ti) != p.at(pi + 1))
                return false;
            pi += 2;
            ++ti;
            continue;
        }
        if (pc == QLatin1Char('%')) {
            while (pi < p.size() && p.at(pi) == QLatin1Char('%'))
                ++pi;
            if (pi == p.size())
                return true;
            for (int k = ti; k <= t.size(); ++k) {
                if (likeFrom(p, pi, t, k, escape))
                    return true;
            }
            return false;
        }
        if (ti >= t.size())
            return false;
        if (pc != QLatin1Char('_') && pc != t.at(ti))
            return false;
        ++pi;
        ++ti;
    }
    return ti == t.size();
}

} // namespace

bool likeMatch(const QString &pattern, const QString &text, QChar escape)
{
    return likeFrom(pattern.toCaseFolded(), 0, text.toCaseFolded(), 0,
                    escape.isNull() ? escape : escape.toCaseFolded());
}

QString translateSql(const QString &sql)
{
    static const QRegularExpression deleteStar(QStringLiteral("^(\\s*)delete\\s+\\*\\s+from\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString out = sql;
    out.replace(deleteStar, QStringLiteral("\\1delete from"));
    if (out.contains(QLatin1Char('+')))
        out = concatenationToPipes(out);
    return out;
}
