#include "maintenance/ExitBackup.h"

#include <exception>

#include <QProgressDialog>

#include "maintenance/AutomaticBackup.h"
#include "shell/AppContext.h"
#include "shell/Prompter.h"

namespace {

const QString kWhereToChoose =
    QStringLiteral("The database itself is unchanged. Another folder can be chosen with "
                   "\"Backup / Restore Patient Database\" on the Tools tab.");

void reportFailure(AppContext &ctx, const QDateTime &now, const QString &reason)
{
    AutomaticBackup::noteFailure(ctx, now, reason);
    ctx.prompter().message(
        QStringLiteral("The daily backup could not be written.") + QStringLiteral("\r\n\r\n")
            + reason + QStringLiteral("\r\n\r\n") + kWhereToChoose,
        QStringLiteral("Automatic Backup"), MsgIcon::Exclamation, MsgButtons::OK);
}

} // namespace

void backUpAtExit(AppContext &ctx, QWidget *parent, const QDateTime &now)
{
    try {
        if (!AutomaticBackup::isOn(ctx))
            return;
        QProgressDialog progress(QStringLiteral("Writing the daily backup..."), QString(), 0, 1000,
                                 parent);
        progress.setWindowTitle(QStringLiteral("Automatic Backup"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        const auto report = [&](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 1000);
        };
        AutomaticBackup::run(ctx, now, report);
    } catch (const std::exception &e) {
        reportFailure(ctx, now, QString::fromStdString(e.what()));
    } catch (...) {
        reportFailure(ctx, now, QStringLiteral("An unexpected error stopped it."));
    }
}

void reportBackupsAtStart(AppContext &ctx, const QDateTime &now)
{
    const auto tell = [&ctx](const QString &text) {
        ctx.prompter().message(text, QStringLiteral("Automatic Backup"), MsgIcon::Exclamation,
                               MsgButtons::OK);
    };
    const QString failure = AutomaticBackup::takeFailure(ctx);
    if (!failure.isEmpty())
        tell(failure + QStringLiteral("\r\n\r\n") + kWhereToChoose);
    const QString stale = AutomaticBackup::staleWarning(ctx, now);
    if (!stale.isEmpty())
        tell(stale);
}
