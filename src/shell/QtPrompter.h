#pragma once

#include <memory>

#include "shell/Prompter.h"

class QProgressDialog;

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
    void progress(const QString &text, int done, int total) override;

    QtPrompter();
    ~QtPrompter() override;

private:
    std::unique_ptr<QProgressDialog> m_progress;
};
