#include "shell/TextArea.h"

#include <QFontMetrics>

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
