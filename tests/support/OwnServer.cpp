#include "support/OwnServer.h"

#include <QFile>
#include <QProcess>

OwnServer::OwnServer()
{
    // Servers that tests start side by side may pick the same free port: the
    // one that loses tries again in a new folder.
    for (int attempt = 0; attempt < 3 && !m_ok; ++attempt) {
        if (attempt > 0) {
            run(QStringLiteral("stop"));
            m_dir = std::make_unique<QTemporaryDir>();
        }
        m_ok = run(QStringLiteral("start"));
    }
    QFile env(m_dir->filePath(QStringLiteral("env")));
    if (m_ok && env.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : env.readAll().split('\n')) {
            const QList<QByteArray> pair = line.split('=');
            if (pair.size() == 2)
                m_env[QString::fromUtf8(pair[0])] = QString::fromUtf8(pair[1]);
        }
    }
}

OwnServer::~OwnServer()
{
    run(QStringLiteral("stop"));
}

bool OwnServer::run(const QString &command)
{
    QProcess script;
    script.start(QStringLiteral("bash"),
                 {QStringLiteral(MEDLANTIS_SOURCE_DIR "/tools/pg-test-server.sh"), command,
                  m_dir->path()});
    return script.waitForFinished(120000) && script.exitCode() == 0;
}

QString OwnServer::uri() const
{
    return QStringLiteral("postgresql://medlantis@127.0.0.1:%1/postgres").arg(port());
}
