#include "support/FakePrompter.h"

MsgAnswer FakePrompter::message(const QString &text, const QString &title, MsgIcon icon,
                                MsgButtons buttons)
{
    boxes.push_back({text, title, icon, buttons});
    if (!answers.empty()) {
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::No;
    case MsgButtons::RetryCancel:
    case MsgButtons::OKCancel:
        return MsgAnswer::Cancel;
    default:
        return MsgAnswer::OK;
    }
}

namespace {
QString nextFile(std::deque<QString> &files)
{
    if (files.empty())
        return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}
} // namespace

QString FakePrompter::saveFile(const QString &title, const QString &filter)
{
    dialogs.push_back({QStringLiteral("save"), title, filter});
    if (whileDialogOpen)
        whileDialogOpen();
    return nextFile(files);
}

QString FakePrompter::openFile(const QString &title, const QString &filter)
{
    dialogs.push_back({QStringLiteral("open"), title, filter});
    if (whileDialogOpen)
        whileDialogOpen();
    return nextFile(files);
}

QString FakePrompter::browseFolder(const QString &title, const QString &start)
{
    dialogs.push_back({QStringLiteral("folder"), title, start});
    return nextFile(files);
}

bool FakePrompter::openUrl(const QString &url)
{
    urls << url;
    return urlOpens;
}

QStringList FakePrompter::texts() const
{
    QStringList out;
    for (const Box &b : boxes)
        out << b.text;
    return out;
}
