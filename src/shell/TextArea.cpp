#include "shell/TextArea.h"

#include <QFontMetrics>
#include <QKeyEvent>

TextArea::TextArea(QWidget *parent, int visibleLines) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const int line = QFontMetrics(font()).lineSpacing();
    setMinimumHeight(line * visibleLines + 2 * frameWidth() + 8);
}

void TextArea::setText(const QString &stored)
{
    m_stored = stored;
    setPlainText(stored);
    m_shown = toPlainText();
}

QString TextArea::text() const
{
    const QString typed = toPlainText();
    if (typed == m_shown)
        return m_stored;
    if (m_stored.contains(QLatin1String("\r\n"))) {
        QString withCrLf = typed;
        withCrLf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        return withCrLf;
    }
    return typed;
}

void TextArea::keyPressEvent(QKeyEvent *event)
{
    // Tab reaches here only when no other field could take the focus; with
    // Ctrl it goes on to the page control, which turns the page.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        if (event->modifiers() & Qt::ControlModifier)
            event->ignore();
        else
            event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
