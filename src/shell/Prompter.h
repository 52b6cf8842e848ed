#pragma once

#include <QString>

// Message box icons. Exclamation and warning are the same picture.
enum class MsgIcon { None, Information, Exclamation, Question, Critical, Warning = Exclamation };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgAnswer { OK, Cancel, Yes, No, Retry };

// Every message box, file or folder dialog and "open this address" goes
// through here, so windows can be driven by tests with a scripted fake.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // A box without a title carries the application title.
    virtual MsgAnswer message(const QString &text, const QString &title,
                              MsgIcon icon = MsgIcon::None,
                              MsgButtons buttons = MsgButtons::OK) = 0;
    // Filters come as "Text Files (*.txt)|*.txt"; "" means cancelled.
    virtual QString saveFile(const QString &title, const QString &filter) = 0;
    virtual QString openFile(const QString &title, const QString &filter) = 0;
    virtual QString browseFolder(const QString &title, const QString &start) = 0;
    // False when nothing could open the address.
    virtual bool openUrl(const QString &url) = 0;
    // Long work without a window of its own: done of total steps; done ==
    // total ends it.
    virtual void progress(const QString & /*text*/, int /*done*/, int /*total*/) {}
};

inline QString applicationTitle() { return QStringLiteral("Medlantis"); }
