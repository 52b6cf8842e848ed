#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "shell/Prompter.h"

// A prompter for tests: records every box and dialog, answers from queues.
// An unscripted box answers OK (or No for Yes/No, Cancel for Retry/Cancel);
// an unscripted file dialog is cancelled.
class FakePrompter : public Prompter
{
public:
    struct Box
    {
        QString text;
        QString title;
        MsgIcon icon;
        MsgButtons buttons;
    };
    struct Dialog
    {
        QString kind; // "save", "open", "folder"
        QString title;
        QString filter; // or the start folder
    };

    MsgAnswer message(const QString &text, const QString &title, MsgIcon icon,
                      MsgButtons buttons) override;
    QString saveFile(const QString &title, const QString &filter) override;
    QString openFile(const QString &title, const QString &filter) override;
    QString browseFolder(const QString &title, const QString &start) override;
    bool openUrl(const QString &url) override;
    void progress(const QString &text, int done, int total) override
    {
        progressSteps << QStringLiteral("%1 (%2/%3)").arg(text).arg(done).arg(total);
    }

    std::vector<Box> boxes;
    std::vector<Dialog> dialogs;
    QStringList urls;
    QStringList progressSteps;
    std::deque<MsgAnswer> answers;
    std::deque<QString> files; // answers of save/open/folder dialogs
    bool urlOpens = true;
    // Runs while a file dialog is open, as another workstation would meanwhile.
    std::function<void()> whileDialogOpen;

    // Texts of all boxes, for short assertions.
    QStringList texts() const;
    const Box &last() const { return boxes.back(); }
    void clear()
    {
        boxes.clear();
        dialogs.clear();
        urls.clear();
    }
};
