#pragma once

#include <QPlainTextEdit>

// A box for paragraphs. Tab moves to the next field, as in a one-line box, and
// is never typed into the text.
// The text a record holds is shown whole and, while nobody changes it, handed
// back exactly as stored: the editor turns every line break into a plain LF,
// so without this an unchanged CR LF text would be rewritten on save.
class TextArea : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TextArea(QWidget *parent = nullptr, int visibleLines = 3);

    // Shows a stored value (null reads as "").
    void setText(const QString &stored);
    // The value to store: the one shown by setText while the text is unchanged,
    // otherwise the typed text with the line breaks the stored value used.
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_stored;
    QString m_shown;
};
