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

    // At most limit code points may be typed or pasted (0: no limit); a
    // stored value that is longer is still shown whole.
    void setMaxLength(int limit);

    // Shows a stored value (null reads as "").
    void setText(const QString &stored);
    // The value to store: the one shown by setText while the text is unchanged,
    // otherwise the typed text with the line breaks the stored value used.
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void keepToLimit(int position, int added);

    QString m_stored;
    QString m_shown;
    int m_designLimit = 0;
    int m_limit = 0;
};
