#include "shell/WidgetUtils.h"

#include <limits>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QValidator>

#include "shell/TextArea.h"
#include "shell/TextLimit.h"

namespace {

// A box's length limit in code points. It cuts what was just typed or pasted
// from its end; a stored value shown whole raises it until the next reset.
class CodePointLimit : public QValidator
{
public:
    CodePointLimit(int limit, QObject *parent)
        : QValidator(parent), m_design(limit), m_limit(limit)
    {
    }
    State validate(QString &input, int &pos) const override
    {
        if (codePointCount(input) > m_limit)
            input = cutToCodePoints(input, pos, m_limit, &pos);
        return Acceptable;
    }
    void raiseTo(int count) { m_limit = std::max(m_design, count); }
    void reset() { m_limit = m_design; }

private:
    int m_design;
    int m_limit;
};

CodePointLimit *limitOf(const QLineEdit *box)
{
    return dynamic_cast<CodePointLimit *>(const_cast<QValidator *>(box->validator()));
}

} // namespace

QPushButton *newButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QPushButton *newDefaultButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setDefault(true);
    return button;
}

QLineEdit *newLineEdit(QWidget *parent, const char *name, int maxLength)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    // Qt's own limit counts UTF-16 units (and would stop at 32767 of them):
    // the box's limit counts code points instead.
    box->setMaxLength(std::numeric_limits<int>::max());
    if (maxLength > 0)
        box->setValidator(new CodePointLimit(maxLength, box));
    return box;
}

void showWhole(QLineEdit *box, const QString &value)
{
    if (CodePointLimit *limit = limitOf(box))
        limit->raiseTo(codePointCount(value));
    box->setText(value);
}

QString boxText(const QWidget *box)
{
    if (const auto *area = qobject_cast<const TextArea *>(box))
        return area->text();
    return static_cast<const QLineEdit *>(box)->text();
}

void setBoxText(QWidget *box, const QString &value)
{
    if (auto *area = qobject_cast<TextArea *>(box))
        area->setText(value);
    else
        showWhole(static_cast<QLineEdit *>(box), value);
}

QCheckBox *newCheckBox(QWidget *parent, const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QLabel *newBuddyLabel(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

void ResetControls(QWidget *window)
{
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (auto *line = qobject_cast<QLineEdit *>(w)) {
            // The line edit inside a combo box or date picker is theirs to manage.
            if (!qobject_cast<QComboBox *>(line->parentWidget())
                && !qobject_cast<QAbstractSpinBox *>(line->parentWidget())) {
                line->clear();
                if (CodePointLimit *limit = limitOf(line))
                    limit->reset();
            }
        } else if (auto *text = qobject_cast<QTextEdit *>(w)) {
            text->clear();
        } else if (auto *area = qobject_cast<TextArea *>(w)) {
            area->setText(QString());
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(w)) {
            plain->clear();
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->count() > 0)
                combo->setCurrentIndex(0);
        } else if (auto *date = qobject_cast<QDateEdit *>(w)) {
            date->setDate(QDate::currentDate());
        } else if (auto *check = qobject_cast<QCheckBox *>(w)) {
            check->setChecked(false);
        } else if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->objectName().startsWith(QLatin1String("img")))
                label->clear();
        }
    }
}

bool applyStyleSheetFile(QWidget *window, const QString &path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    window->setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

void ApplyLoginSkin(QWidget *loginWindow, const QString &programFolder)
{
    const QString skin = programFolder + nativeSeparator() + QStringLiteral("x")
                         + nativeSeparator() + QStringLiteral("o.cjs");
    if (!QFile::exists(skin))
        return;
    const QColor face = QApplication::palette().color(QPalette::Button);
    const auto children = loginWindow->findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w)
            || qobject_cast<QGroupBox *>(w) || qobject_cast<QLabel *>(w)) {
            QPalette p = w->palette();
            p.setColor(QPalette::Window, face);
            w->setPalette(p);
            w->setAutoFillBackground(true);
        }
    }
    applyStyleSheetFile(loginWindow, skin);
}

void applyHandCursor(QWidget *window, const QString &programFolder)
{
    const QString file = programFolder + nativeSeparator() + QStringLiteral("HAND-M.CUR");
    if (!QFile::exists(file))
        return;
    const QPixmap picture(file);
    if (picture.isNull())
        return;
    const QCursor hand(picture, 0, 0);
    const auto buttons = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *b : buttons)
        b->setCursor(hand);
}

QStringList QtPrinterList::printerNames() const
{
    QStringList names = QPrinterInfo::availablePrinterNames();
    // The PDF output is built in, so it is always installed.
    names << pdfPrinterName();
    return names;
}

namespace {

// Walks a window's tab chain itself. Qt's own walk runs into the boxes of the
// pages that do not show, and on a page with one box finds nowhere to go.
class TabChain : public QObject
{
public:
    TabChain(const QList<QWidget *> &chain, QObject *parent) : QObject(parent)
    {
        for (QWidget *w : chain)
            m_chain << w;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        if (key->key() == Qt::Key_Backtab)
            return move(false);
        if (key->key() == Qt::Key_Tab)
            return move(!(key->modifiers() & Qt::ShiftModifier));
        return false;
    }

private:
    static QWidget *focusTarget(QWidget *w)
    {
        while (w->focusProxy())
            w = w->focusProxy();
        return w;
    }

    // Shown (its page too), enabled, and one that Tab may stop at.
    static bool takesTab(QWidget *w)
    {
        return w && w->isVisible() && w->isEnabled()
               && (focusTarget(w)->focusPolicy() & Qt::TabFocus);
    }

    // The entry that has the focus: itself, through its focus proxy, or the
    // innermost entry around the widget that has it; -1 for none.
    int current() const
    {
        QWidget *focus = QApplication::focusWidget();
        if (!focus)
            return -1;
        int around = -1;
        for (int i = 0; i < m_chain.size(); ++i) {
            QWidget *w = m_chain.at(i);
            if (!w)
                continue;
            if (w == focus || focusTarget(w) == focus)
                return i;
            if (w->isAncestorOf(focus)
                && (around < 0 || m_chain.at(around)->isAncestorOf(w)))
                around = i;
        }
        return around;
    }

    bool move(bool forward)
    {
        const int n = int(m_chain.size());
        const int from = current();
        const int start = from >= 0 ? from : (forward ? -1 : n);
        for (int step = 1; step <= n; ++step) {
            const int i = ((forward ? start + step : start - step) % n + n) % n;
            QWidget *w = m_chain.at(i);
            if (takesTab(w)) {
                w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return true;
            }
        }
        // Nothing else can take the focus: it stays, and no tab is typed.
        return from >= 0;
    }

    QList<QPointer<QWidget>> m_chain;
};

} // namespace

void setTabChain(const QList<QWidget *> &chain)
{
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
    if (chain.isEmpty())
        return;
    auto *walker = new TabChain(chain, chain.first()->window());
    for (QWidget *w : chain) {
        w->installEventFilter(walker);
        // The widget that holds the focus may be a part of the entry: the
        // tab bar of a page control, the text box of a drop-down list.
        for (QWidget *part : w->findChildren<QWidget *>())
            part->installEventFilter(walker);
    }
}

QHBoxLayout *buttonRow(const QList<QWidget *> &left, const QList<QWidget *> &right)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : left)
        row->addWidget(w);
    row->addStretch();
    for (QWidget *w : right)
        row->addWidget(w);
    return row;
}
