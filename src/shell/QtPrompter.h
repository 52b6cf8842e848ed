#pragma once

#include "shell/Prompter.h"

// The prompter of the running program: Qt's message boxes and file dialogs.
class QtPrompter : public Prompter
{
public:
    MsgAnswer message(const QString &text, const QString &title, MsgIcon icon,
                      MsgButtons buttons) override;
    QString saveFile(const QString &title, const QString &filter) override;
    QString openFile(const QString &title, const QString &filter) override;
    QString browseFolder(const QString &title, const QString &start) override;
    bool openUrl(const QString &url) override;
};
