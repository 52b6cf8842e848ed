#include "data/DatabaseLocation.h"

#include <map>
#include <optional>
#include <string>

#include <QDir>
#include <QFileInfo>

#include <libpq-fe.h>

#include "data/Connection.h"

namespace {

// Every option libpq parses from the address, unset ones as nullopt; none at
// all when the address does not parse.
std::optional<std::map<std::string, std::optional<std::string>>> parsed(const QString &address)
{
    const QByteArray text = address.trimmed().toUtf8();
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(text.constData(), &error);
    if (error)
        PQfreemem(error);
    if (!options)
        return std::nullopt;
    std::map<std::string, std::optional<std::string>> out;
    for (PQconninfoOption *o = options; o->keyword; ++o)
        out[o->keyword] = o->val ? std::optional<std::string>(o->val) : std::nullopt;
    PQconninfoFree(options);
    return out;
}

QString fileIdentity(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

bool sameDatabaseLocation(const QString &a, const QString &b)
{
    if (isServerUri(a) != isServerUri(b))
        return false;
    if (!isServerUri(a))
        return !a.isEmpty() && !b.isEmpty() && fileIdentity(a) == fileIdentity(b);
    const auto left = parsed(a);
    const auto right = parsed(b);
    return left && right && *left == *right;
}

bool addressHoldsPassword(const QString &address)
{
    if (!isServerUri(address))
        return false;
    const auto options = parsed(address);
    if (!options)
        return false;
    const auto password = options->find("password");
    return password != options->end() && password->second && !password->second->empty();
}
