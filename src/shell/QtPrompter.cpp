#include "shell/QtPrompter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProgressDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "shell/modMain.h"

namespace {
QWidget *owner()
{
    return QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                             : QApplication::activeWindow();
}
} // namespace

MsgAnswer QtPrompter::message(const QString &text, const QString &title, MsgIcon icon,
                              MsgButtons buttons)
{
    QMessageBox box(owner());
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    // Line breaks arrive as CR LF, and a lone CR also breaks the line.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (buttons) {
    case MsgButtons::OK:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MsgButtons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    default:
        // Escape on a Yes/No box means No.
        if (buttons == MsgButtons::YesNo)
            return MsgAnswer::No;
        return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
    }
}

QString QtPrompter::saveFile(const QString &title, const QString &filter)
{
    QString chosen = QFileDialog::getSaveFileName(owner(), title, QString(), qtFileFilter(filter));
    // A name typed without an extension gets the one of the filter ("*.pdf").
    const QString pattern = filter.section(QLatin1Char('|'), 1, 1).section(QLatin1Char(';'), 0, 0);
    if (!chosen.isEmpty() && QFileInfo(chosen).suffix().isEmpty()
        && pattern.startsWith(QLatin1String("*.")) && pattern.indexOf(QLatin1Char('*'), 1) < 0)
        chosen += pattern.mid(1);
    return QDir::toNativeSeparators(chosen);
}

QString QtPrompter::openFile(const QString &title, const QString &filter)
{
    return QDir::toNativeSeparators(
        QFileDialog::getOpenFileName(owner(), title, QString(), qtFileFilter(filter)));
}

QString QtPrompter::browseFolder(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(owner(), title, start);
}

bool QtPrompter::openUrl(const QString &url)
{
    const QUrl target = QFileInfo::exists(url) ? QUrl::fromLocalFile(url) : QUrl(url);
    return QDesktopServices::openUrl(target);
}

QtPrompter::QtPrompter() = default;
QtPrompter::~QtPrompter() = default;

void QtPrompter::progress(const QString &text, int done, int total)
{
    if (done >= total) {
        m_progress.reset();
        return;
    }
    if (!m_progress) {
        m_progress = std::make_unique<QProgressDialog>(text, QString(), 0, total,
                                                       QApplication::activeWindow());
        m_progress->setWindowTitle(applicationTitle());
        m_progress->setWindowModality(Qt::ApplicationModal);
        m_progress->setMinimumDuration(300);
        m_progress->setAutoReset(false);
    }
    m_progress->setLabelText(text);
    m_progress->setMaximum(total);
    m_progress->setValue(done);
    QCoreApplication::processEvents();
}
