#include "data/Dialect.h"

#include <stdexcept>
#include <vector>

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

// A pattern of literal text followed by "%" only, such as 'SMI%'.
bool isPrefixPattern(const QString &pattern)
{
    const qsizetype wildcard = pattern.indexOf(QRegularExpression(QStringLiteral("[%_]")));
    if (wildcard <= 0)
        return false;
    for (qsizetype i = wildcard; i < pattern.size(); ++i) {
        if (pattern.at(i) != QLatin1Char('%'))
            return false;
    }
    return true;
}

} // namespace

QString foldedText(const QVariant &name)
{
    return name.isNull() ? QString() : name.toString().toCaseFolded();
}

bool likeMatch(const QString &pattern, const QString &text, QChar escape)
{
    return likeFrom(pattern.toCaseFolded(), 0, text.toCaseFolded(), 0,
                    escape.isNull() ? escape : escape.toCaseFolded());
}

namespace {

// The number of characters of a name's folded form that the server's folded
// columns hold (see schema.sql).
constexpr int kFoldedLength = 200;

struct Token
{
    enum Kind { Space, Word, Number, Text, Bracket, Quoted, Other };
    Kind kind;
    QString text;
};

std::vector<Token> tokenize(const QString &sql)
{
    std::vector<Token> out;
    int i = 0;
    const int n = int(sql.size());
    const auto isWordStart = [](QChar c) { return c.isLetter() || c == QLatin1Char('_'); };
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    while (i < n) {
        const QChar c = sql.at(i);
        int j = i + 1;
        Token::Kind kind = Token::Other;
        if (c.isSpace()) {
            while (j < n && sql.at(j).isSpace())
                ++j;
            kind = Token::Space;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Doubled quotes stay inside the literal or name.
            while (j < n) {
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            kind = c == QLatin1Char('\'') ? Token::Text : Token::Quoted;
        } else if (c == QLatin1Char('[')) {
            const int end = sql.indexOf(QLatin1Char(']'), i);
            j = end < 0 ? n : end + 1;
            kind = Token::Bracket;
        } else if (isWordStart(c)) {
            while (j < n && isWordChar(sql.at(j)))
                ++j;
            kind = Token::Word;
        } else if (c.isDigit()) {
            while (j < n && (sql.at(j).isDigit() || sql.at(j) == QLatin1Char('.')))
                ++j;
            kind = Token::Number;
        }
        out.push_back({kind, sql.mid(i, j - i)});
        i = j;
    }
    return out;
}

bool isWord(const Token &t, const char *word)
{
    return t.kind == Token::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""))
           + QLatin1Char('"');
}

class PostgresWriter
{
public:
    PostgresWriter(const std::vector<Token> &tokens, const PostgresNames &names)
        : m_tokens(tokens), m_names(names)
    {
        // Aliases keep the letter case they are written with, wherever they are used.
        for (size_t i = 0; i + 1 < tokens.size(); ++i) {
            if (!isWord(tokens[i], "as"))
                continue;
            const size_t next = skipSpace(i + 1);
            if (next < tokens.size()
                && (tokens[next].kind == Token::Word || tokens[next].kind == Token::Bracket)) {
                const QString alias = plainName(tokens[next]);
                if (!m_names.canonical.contains(alias.toLower()))
                    m_aliases.insert(alias.toLower(), alias);
            }
        }
    }

    QString write(size_t from, size_t to)
    {
        QString out;
        bool inOrderBy = false;
        bool itemStart = false;
        for (size_t i = from; i < to; ++i) {
            const Token &t = m_tokens[i];
            if (isWord(t, "order")) {
                const size_t by = skipSpace(i + 1);
                if (by < to && isWord(m_tokens[by], "by")) {
                    out += t.text + m_tokens[i + 1].text + m_tokens[by].text;
                    i = by;
                    inOrderBy = itemStart = true;
                    continue;
                }
            }
            if (t.kind == Token::Other && (t.text == QLatin1String(")")
                                           || t.text == QLatin1String(";")))
                inOrderBy = false;
            if (inOrderBy && t.kind == Token::Other && t.text == QLatin1String(","))
                itemStart = true;
            if (isWord(t, "StrComp")) {
                const size_t open = skipSpace(i + 1);
                if (open < to && m_tokens[open].text == QLatin1String("(")) {
                    i = writeStrComp(open, to, out);
                    continue;
                }
            }
            if (isWord(t, "FoldCase")) {
                const size_t open = skipSpace(i + 1);
                if (open < to && m_tokens[open].text == QLatin1String("(")) {
                    i = writeFoldCase(open, to, out);
                    continue;
                }
            }
            if (isWord(t, "like")) {
                out += t.text;
                i = writeLikePattern(i + 1, to, out);
                continue;
            }
            if (t.kind == Token::Other && t.text == QLatin1String("+")
                && (previousIsText(i) || nextIsText(i))) {
                out += QStringLiteral("||");
                continue;
            }
            if (t.kind == Token::Word || t.kind == Token::Bracket) {
                // A name, possibly qualified by a table alias: a.[Name].
                size_t last = i;
                QString name = nameText(t);
                while (last + 2 < to && m_tokens[last + 1].text == QLatin1String(".")
                       && (m_tokens[last + 2].kind == Token::Word
                           || m_tokens[last + 2].kind == Token::Bracket)) {
                    name += QLatin1Char('.') + nameText(m_tokens[last + 2]);
                    last += 2;
                }
                const bool sortsWithoutCase =
                    inOrderBy && itemStart
                    && m_names.nocase.contains(plainName(m_tokens[last]).toLower());
                if (nextIsLike(last)
                    && m_names.folded.contains(plainName(m_tokens[last]).toLower())) {
                    // The index on the folded name serves the like; the like
                    // on the plain name keeps the meaning of a NULL.
                    const size_t like = skipSpace(last + 1);
                    const size_t pattern = skipSpace(like + 1);
                    const size_t after = skipSpace(pattern + 1);
                    if (pattern < to && m_tokens[pattern].kind == Token::Text
                        && !(after < to && isWord(m_tokens[after], "escape"))) {
                        out += foldedLike(i, last, pattern);
                        itemStart = false;
                        i = pattern;
                        continue;
                    }
                }
                if (sortsWithoutCase || nextIsLike(last))
                    name = QStringLiteral("lower(") + name + QLatin1Char(')');
                out += name;
                itemStart = false;
                i = last;
                continue;
            }
            if (t.kind != Token::Space)
                itemStart = itemStart && t.kind == Token::Other && t.text == QLatin1String(",");
            out += t.text;
        }
        return out;
    }

private:
    size_t skipSpace(size_t i) const
    {
        while (i < m_tokens.size() && m_tokens[i].kind == Token::Space)
            ++i;
        return i;
    }

    bool previousIsText(size_t i) const
    {
        while (i > 0) {
            --i;
            if (m_tokens[i].kind != Token::Space)
                return m_tokens[i].kind == Token::Text;
        }
        return false;
    }

    bool nextIsText(size_t i) const
    {
        const size_t next = skipSpace(i + 1);
        return next < m_tokens.size() && m_tokens[next].kind == Token::Text;
    }

    bool nextIsLike(size_t i) const
    {
        const size_t next = skipSpace(i + 1);
        return next < m_tokens.size() && isWord(m_tokens[next], "like");
    }

    static QString plainName(const Token &t)
    {
        if (t.kind == Token::Bracket)
            return t.text.mid(1, t.text.size() - (t.text.endsWith(QLatin1Char(']')) ? 2 : 1));
        return t.text;
    }

    QString nameText(const Token &t) const
    {
        const QString name = plainName(t);
        const QString key = name.toLower();
        if (m_names.canonical.contains(key))
            return quotedName(m_names.canonical.value(key));
        if (m_aliases.contains(key))
            return quotedName(m_aliases.value(key));
        // A keyword, function or table alias: the server reads it as it is.
        return t.kind == Token::Bracket ? quotedName(name) : name;
    }

    // like 'pattern' -> like lower('pattern') escape '': the server's default
    // escape character, the backslash, means nothing in the windows' patterns.
    size_t writeLikePattern(size_t i, size_t to, QString &out)
    {
        size_t j = i;
        while (j < to && m_tokens[j].kind == Token::Space)
            out += m_tokens[j++].text;
        if (j < to && m_tokens[j].kind == Token::Text) {
            out += QStringLiteral("lower(") + m_tokens[j].text + QStringLiteral(") escape ''");
            return j;
        }
        return j - 1;
    }

    // name like 'pattern' on a name with a folded column: the column's index
    // finds the rows by the text before the first wildcard (as much of it as
    // the column holds), and the like on the name decides where that is not
    // the whole of the pattern.
    QString foldedLike(size_t first, size_t last, size_t pattern) const
    {
        const QString literal = m_tokens[pattern].text;
        const QString text = unquotedText(literal);
        qsizetype wildcard = 0;
        while (wildcard < text.size() && text.at(wildcard) != QLatin1Char('%')
               && text.at(wildcard) != QLatin1Char('_'))
            ++wildcard;
        const bool prefix = isPrefixPattern(text);
        const QList<uint> points = text.left(wildcard).toUcs4();
        const bool fits = points.size() <= kFoldedLength;
        const QString key = foldedColumn(first, last);
        const auto like = [](const QString &quoted) {
            return QStringLiteral(" like lower(") + quoted + QStringLiteral(") escape ''");
        };
        QString out = QLatin1Char('(') + key;
        if (fits) {
            out += like(literal);
        } else {
            const QString head = QString::fromUcs4(
                reinterpret_cast<const char32_t *>(points.constData()), kFoldedLength);
            out += like(quotedText(head + QLatin1Char('%')));
        }
        if (!prefix || !fits) {
            QString name;
            for (size_t k = first; k <= last; ++k)
                name += k % 2 == first % 2 ? nameText(m_tokens[k]) : m_tokens[k].text;
            out += QStringLiteral(" and lower(") + name + QLatin1Char(')') + like(literal);
        }
        return out + QLatin1Char(')');
    }

    static QString unquotedText(const QString &literal)
    {
        return literal.mid(1, literal.size() - 2).replace(QStringLiteral("''"),
                                                          QStringLiteral("'"));
    }

    static QString quotedText(const QString &text)
    {
        return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''"))
               + QLatin1Char('\'');
    }

    // The folded form of any other text, as the server's folded columns hold
    // it; a missing name folds to "" so that lists can page through it.
    static QString foldedKey(const QString &name)
    {
        return QStringLiteral("(lower(coalesce(") + name + QStringLiteral(", '')) COLLATE \"C\")");
    }

    // a.[LastName] -> a."FoldedLastName": the server keeps the folded form
    // of a name in a column of its own.
    QString foldedColumn(size_t first, size_t last) const
    {
        QString out;
        for (size_t k = first; k + 1 < last; k += 2)
            out += nameText(m_tokens[k]) + QLatin1Char('.');
        return out
               + quotedName(m_names.folded.value(plainName(m_tokens[last]).toLower()));
    }

    // The tokens from first to last are one name, possibly qualified.
    bool isName(size_t first, size_t last) const
    {
        for (size_t k = first; k <= last; ++k) {
            const bool namePart = (k - first) % 2 == 0;
            const Token &t = m_tokens[k];
            if (namePart ? (t.kind != Token::Word && t.kind != Token::Bracket)
                         : t.text != QLatin1String("."))
                return false;
        }
        return (last - first) % 2 == 0;
    }

    size_t writeFoldCase(size_t open, size_t to, QString &out)
    {
        int depth = 0;
        for (size_t j = open + 1; j < to; ++j) {
            if (m_tokens[j].kind != Token::Other)
                continue;
            if (m_tokens[j].text == QLatin1String("(")) {
                ++depth;
            } else if (m_tokens[j].text == QLatin1String(")")) {
                if (depth == 0) {
                    const size_t first = skipSpace(open + 1);
                    size_t last = j - 1;
                    while (last > first && m_tokens[last].kind == Token::Space)
                        --last;
                    if (first < j && isName(first, last)
                        && m_names.folded.contains(plainName(m_tokens[last]).toLower()))
                        out += foldedColumn(first, last);
                    else
                        out += foldedKey(write(open + 1, j).trimmed());
                    return j;
                }
                --depth;
            }
        }
        throw std::invalid_argument("FoldCase needs a closing parenthesis");
    }

    // StrComp(a, b, mode) -> -1, 0 or 1; mode 0 compares exactly.
    size_t writeStrComp(size_t open, size_t to, QString &out)
    {
        std::vector<std::pair<size_t, size_t>> args;
        int depth = 0;
        size_t start = open + 1;
        size_t close = open;
        for (size_t j = open + 1; j < to; ++j) {
            const QString &text = m_tokens[j].text;
            if (m_tokens[j].kind != Token::Other)
                continue;
            if (text == QLatin1String("(")) {
                ++depth;
            } else if (text == QLatin1String(")")) {
                if (depth == 0) {
                    args.emplace_back(start, j);
                    close = j;
                    break;
                }
                --depth;
            } else if (text == QLatin1String(",") && depth == 0) {
                args.emplace_back(start, j);
                start = j + 1;
            }
        }
        if (close == open || args.size() < 2)
            throw std::invalid_argument("StrComp needs two arguments");
        const QString a =
            QLatin1Char('(') + write(args[0].first, args[0].second).trimmed() + QLatin1Char(')');
        const QString b =
            QLatin1Char('(') + write(args[1].first, args[1].second).trimmed() + QLatin1Char(')');
        const bool exact = args.size() < 3
                           || write(args[2].first, args[2].second).trimmed() == QLatin1String("0");
        const QString x = exact ? a : QStringLiteral("lower") + a;
        const QString y = exact ? b : QStringLiteral("lower") + b;
        out += QStringLiteral("(CASE WHEN %1 IS NULL OR %2 IS NULL THEN NULL WHEN %1 = %2 THEN 0 "
                              "WHEN %1 < %2 COLLATE \"C\" THEN -1 ELSE 1 END)")
                   .arg(x, y);
        return close;
    }

    const std::vector<Token> &m_tokens;
    const PostgresNames &m_names;
    QHash<QString, QString> m_aliases;
};

} // namespace

QString translateSqlForPostgres(const QString &sql, const PostgresNames &names)
{
    static const QRegularExpression deleteStar(QStringLiteral("^(\\s*)delete\\s+\\*\\s+from\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString text = sql;
    text.replace(deleteStar, QStringLiteral("\\1delete from"));
    const std::vector<Token> tokens = tokenize(text);
    return PostgresWriter(tokens, names).write(0, tokens.size());
}

namespace {

QString unquoted(const QString &literal)
{
    return literal.mid(1, literal.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
}

QString quoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''"))
           + QLatin1Char('\'');
}

// The smallest text above every text that starts with prefix, in code point
// order; "" when there is none.
QString successor(const QString &prefix)
{
    QList<uint> points = prefix.toUcs4();
    while (!points.isEmpty()) {
        uint &last = points.last();
        if (last < 0x10FFFF) {
            last = last == 0xD7FF ? 0xE000 : last + 1;
            return QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()),
                                     points.size());
        }
        points.removeLast();
    }
    return QString();
}

// For a prefix pattern of plain ASCII characters: the range of the name itself
// that SQLite compares without a call of the like, "name >= 'sm' COLLATE
// NOCASE and name < 'sn' COLLATE NOCASE or ", which holds only where the
// like holds; the like decides the rest (a name that begins with a letter
// beyond ASCII). "" for any other pattern.
QString asciiPrefixOf(const QString &name, const QString &foldedPattern, const QString &low,
                      const QString &high)
{
    if (!isPrefixPattern(foldedPattern) || high.size() != low.size())
        return QString();
    for (const QChar c : low) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7D)
            return QString();
    }
    // NOCASE folds only A to Z: a bound on one of them would mean its small letter.
    const QChar last = high.at(high.size() - 1);
    if (last >= QLatin1Char('A') && last <= QLatin1Char('Z'))
        return QString();
    return name + QStringLiteral(" >= ") + quoted(low) + QStringLiteral(" COLLATE NOCASE and ")
           + name + QStringLiteral(" < ") + quoted(high) + QStringLiteral(" COLLATE NOCASE or ");
}

// name like 'TEXT%' on a name with a folded column: the folded range of the
// text before its first wildcard lets the engine read only the matching rows
// from that column's index, and the like on the name itself still decides,
// so a folded form that another tool wrote wrongly finds nothing.
// FoldCase(name) reads the folded column.
QString likeOverFoldedRange(const std::vector<Token> &tokens,
                            const QHash<QString, QString> &folded)
{
    QString out;
    const size_t n = tokens.size();
    const auto skip = [&](size_t i) {
        while (i < n && tokens[i].kind == Token::Space)
            ++i;
        return i;
    };
    const auto isName = [](const Token &t) {
        return t.kind == Token::Word || t.kind == Token::Bracket;
    };
    const auto plainOf = [](const Token &t) {
        return t.kind == Token::Bracket ? t.text.mid(1, t.text.size() - 2) : t.text;
    };
    // The name from i, possibly qualified (a.[Name]): its last token.
    const auto lastOf = [&](size_t i) {
        size_t last = i;
        while (last + 2 < n && tokens[last + 1].text == QLatin1String(".")
               && isName(tokens[last + 2]))
            last += 2;
        return last;
    };
    // The folded column of that name, qualified as it is.
    const auto foldedOf = [&](size_t i, size_t last) {
        QString key;
        for (size_t k = i; k < last; ++k)
            key += tokens[k].text;
        return key + QLatin1Char('[') + folded.value(plainOf(tokens[last]).toLower())
               + QLatin1Char(']');
    };
    for (size_t i = 0; i < n; ++i) {
        const Token &t = tokens[i];
        if (isWord(t, "FoldCase")) {
            const size_t open = skip(i + 1);
            const size_t first = open < n && tokens[open].text == QLatin1String("(")
                                     ? skip(open + 1)
                                     : n;
            if (first < n && isName(tokens[first])) {
                const size_t last = lastOf(first);
                const size_t close = skip(last + 1);
                if (close < n && tokens[close].text == QLatin1String(")")
                    && folded.contains(plainOf(tokens[last]).toLower())) {
                    out += foldedOf(first, last);
                    i = close;
                    continue;
                }
            }
        }
        if (!isName(t)) {
            out += t.text;
            continue;
        }
        const size_t last = lastOf(i);
        QString name;
        for (size_t k = i; k <= last; ++k)
            name += tokens[k].text;
        const QString plain = plainOf(tokens[last]);
        const size_t like = skip(last + 1);
        const size_t pattern = like < n && isWord(tokens[like], "like") ? skip(like + 1) : n;
        const size_t after = pattern < n ? skip(pattern + 1) : n;
        const bool escaped = after < n && isWord(tokens[after], "escape");
        if (!folded.contains(plain.toLower()) || pattern >= n
            || tokens[pattern].kind != Token::Text || tokens[pattern].text.size() < 2
            || !tokens[pattern].text.endsWith(QLatin1Char('\'')) || escaped) {
            out += name;
            i = last;
            continue;
        }
        // The like folds the whole pattern: its literal start is the folded range.
        const QString foldedPattern = unquoted(tokens[pattern].text).toCaseFolded();
        qsizetype wildcard = 0;
        while (wildcard < foldedPattern.size() && foldedPattern.at(wildcard) != QLatin1Char('%')
               && foldedPattern.at(wildcard) != QLatin1Char('_'))
            ++wildcard;
        const QString low = foldedPattern.left(wildcard);
        QString whole;
        for (size_t k = i; k <= pattern; ++k)
            whole += tokens[k].text;
        const QString key = foldedOf(i, last);
        i = pattern;
        if (low.isEmpty()) {
            out += whole;
            continue;
        }
        const QString high = successor(low);
        out += QLatin1Char('(') + key + QStringLiteral(" >= ") + quoted(low);
        if (!high.isEmpty())
            out += QStringLiteral(" and ") + key + QStringLiteral(" < ") + quoted(high);
        const QString ascii = asciiPrefixOf(name, foldedPattern, low, high);
        out += QStringLiteral(" and ")
               + (ascii.isEmpty() ? whole : QLatin1Char('(') + ascii + whole + QLatin1Char(')'))
               + QLatin1Char(')');
    }
    return out;
}

} // namespace

QString translateSql(const QString &sql, const QHash<QString, QString> &folded)
{
    static const QRegularExpression deleteStar(QStringLiteral("^(\\s*)delete\\s+\\*\\s+from\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString out = sql;
    out.replace(deleteStar, QStringLiteral("\\1delete from"));
    if (out.contains(QLatin1Char('+')))
        out = concatenationToPipes(out);
    if (!folded.isEmpty() && (out.contains(QLatin1String("like"), Qt::CaseInsensitive)
                              || out.contains(QLatin1String("FoldCase"), Qt::CaseInsensitive)))
        out = likeOverFoldedRange(tokenize(out), folded);
    return out;
}
