#include "shell/TextArea.h"

#include <algorithm>

#include <QFontMetrics>
#include <QKeyEvent>
#include <QTextCursor>

#include "shell/TextLimit.h"

TextArea::TextArea(QWidget *parent, int visibleLines) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const int line = QFontMetrics(font()).lineSpacing();
    setMinimumHeight(line * visibleLines + 2 * frameWidth() + 8);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { keepToLimit(position, added); });
}

void TextArea::setMaxLength(int limit)
{
    m_designLimit = std::max(0, limit);
    m_limit = m_designLimit;
}

void TextArea::keepToLimit(int position, int added)
{
    if (m_limit <= 0 || added <= 0)
        return;
    const QString typed = toPlainText();
    if (codePointCount(typed) <= m_limit)
        return;
    // Only what just came in is cut, from its end.
    const int end = std::min(position + added, int(typed.size()));
    int kept = 0;
    const QString cut =
        cutToCodePoints(typed.left(end), end, m_limit - codePointCount(typed.mid(end)), &kept);
    kept = std::max(kept, position);
    const int removed = end - kept;
    if (removed <= 0)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(kept);
    cursor.setPosition(kept + removed, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TextArea::setText(const QString &stored)
{
    // A longer stored value is shown whole; typing then cannot make it longer.
    m_limit = m_designLimit > 0 ? std::max(m_designLimit, codePointCount(stored)) : 0;
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
