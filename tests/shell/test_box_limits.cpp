#include <QLineEdit>
#include <QTextCursor>
#include <QWidget>

#include <gtest/gtest.h>

#include "shell/TextArea.h"
#include "shell/TextLimit.h"
#include "shell/WidgetUtils.h"

// A box's length limit counts characters as people see them: an emoji is one,
// and a paste that does not fit is cut before the first character that does not.
namespace {

const QString kSmile = QString::fromUtf8("\xF0\x9F\x98\x80"); // one code point, two UTF-16 units

QString times(const QString &text, int n)
{
    return text.repeated(n);
}

struct Paste
{
    const char *name;
    int limit;
    QString before;
    int cursor;
    QString pasted;
    QString after;
};

std::vector<Paste> pastes()
{
    const QString a19 = times(QStringLiteral("a"), 19);
    return {
        {"emoji at the limit fits whole", 20, a19, 19, kSmile, a19 + kSmile},
        {"emoji past the limit is left out whole", 20, times(QStringLiteral("a"), 20), 20, kSmile,
         times(QStringLiteral("a"), 20)},
        {"a paste is cut before the code point that does not fit", 20, a19, 19,
         kSmile + kSmile + QStringLiteral("b"), a19 + kSmile},
        {"twenty emoji fill a twenty box", 20, QString(), 0, times(kSmile, 25), times(kSmile, 20)},
        {"a paste in the middle keeps the text after it", 5, QStringLiteral("abc"), 1,
         QStringLiteral("XYZ"), QStringLiteral("aXYbc")},
        {"emoji paste in the middle", 50, times(QStringLiteral("x"), 48), 24,
         kSmile + QStringLiteral("y") + kSmile,
         times(QStringLiteral("x"), 24) + kSmile + QStringLiteral("y")
             + times(QStringLiteral("x"), 24)},
    };
}

} // namespace

TEST(BoxLimits, PastesIntoOneLineBoxesAreCutByCodePoints)
{
    QWidget window;
    for (const Paste &p : pastes()) {
        SCOPED_TRACE(p.name);
        QLineEdit *box = newLineEdit(&window, "txtLimited", p.limit);
        box->setText(p.before);
        box->setCursorPosition(p.cursor);
        box->insert(p.pasted); // what a paste does
        EXPECT_EQ(box->text(), p.after);
        EXPECT_LE(codePointCount(box->text()), p.limit);
        EXPECT_EQ(box->text().toUtf8().count('?'), 0);
        delete box;
    }
}

TEST(BoxLimits, PastesIntoTextAreasAreCutByCodePoints)
{
    for (const Paste &p : pastes()) {
        SCOPED_TRACE(p.name);
        TextArea area;
        area.setMaxLength(p.limit);
        area.setText(p.before);
        QTextCursor cursor = area.textCursor();
        cursor.setPosition(p.cursor);
        area.setTextCursor(cursor);
        area.insertPlainText(p.pasted);
        EXPECT_EQ(area.text(), p.after);
    }
}

TEST(BoxLimits, AStoredValueLongerThanTheLimitIsShownWholeUntilTheBoxIsReset)
{
    QWidget window;
    QLineEdit *box = newLineEdit(&window, "txtSSN", 20);
    const QString stored = times(kSmile, 25);
    showWhole(box, stored);
    EXPECT_EQ(box->text(), stored);
    box->end(false);
    box->insert(QStringLiteral("z")); // typing cannot make it longer than it was
    EXPECT_EQ(box->text(), stored);
    ResetControls(&window);
    box->insert(times(QStringLiteral("q"), 30));
    EXPECT_EQ(box->text(), times(QStringLiteral("q"), 20));

    QLineEdit *free = newLineEdit(&window, "txtLastname");
    const QString longName = times(QStringLiteral("n"), 40000);
    free->insert(longName);
    EXPECT_EQ(free->text(), longName);
}
