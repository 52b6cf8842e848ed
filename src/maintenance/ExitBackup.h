#pragma once

#include <QDateTime>

class AppContext;
class QWidget;

// Writes the daily automatic backup as the program exits, with a progress
// window when it takes more than a moment. A failure shows one message with
// the reason; nothing here throws, so the exit always goes on.
void backUpAtExit(AppContext &ctx, QWidget *parent,
                  const QDateTime &now = QDateTime::currentDateTime());
