#pragma once

#include <QDateTime>

class AppContext;
class QWidget;

// Writes the daily automatic backup as the program exits, with a progress
// window when it takes more than a moment. A failure shows one message with
// the reason, goes into the audit trail and is told again at the next start;
// nothing here throws, so the exit always goes on.
void backUpAtExit(AppContext &ctx, QWidget *parent,
                  const QDateTime &now = QDateTime::currentDateTime());

// At a start: a backup that failed at the last exit, and a newest copy older
// than a few days, each in one message.
void reportBackupsAtStart(AppContext &ctx, const QDateTime &now = QDateTime::currentDateTime());
