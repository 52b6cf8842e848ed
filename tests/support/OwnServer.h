#pragma once

#include <memory>

#include <QHash>
#include <QString>
#include <QTemporaryDir>

// A throw-away server of the test's own (tools/pg-test-server.sh), to stop,
// start and reconfigure while the shared tests' server carries on.
class OwnServer
{
public:
    OwnServer();
    ~OwnServer();

    // Runs the script's start or stop on this server; true when it succeeded.
    bool run(const QString &command);
    bool ok() const { return m_ok && m_env.contains(QStringLiteral("MEDLANTIS_TEST_PG_PORT")); }
    // Its "postgres" database over TCP, and the password apart.
    QString uri() const;
    QString password() const { return m_env.value(QStringLiteral("MEDLANTIS_TEST_PG_PASSWORD")); }
    // The folder of its Unix socket, and its data folder (postgresql.conf, pg_hba.conf).
    QString socketFolder() const { return m_dir->path(); }
    QString dataFolder() const { return m_dir->filePath(QStringLiteral("data")); }
    QString port() const { return m_env.value(QStringLiteral("MEDLANTIS_TEST_PG_PORT")); }

private:
    std::unique_ptr<QTemporaryDir> m_dir = std::make_unique<QTemporaryDir>();
    bool m_ok = false;
    QHash<QString, QString> m_env;
};
