#include "reports/TextTablePdf.h"

#include <algorithm>
#include <stdexcept>

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>

#include "reports/ReportLayout.h"

namespace {

constexpr int kGap = 2; // blanks between columns

// Splits text into pieces of at most width characters, at a blank when one
// lies in the second half of the piece.
QStringList wrap(const QString &text, int width)
{
    QStringList out;
    QString rest = text;
    while (rest.size() > width) {
        int cut = rest.lastIndexOf(QLatin1Char(' '), width);
        if (cut < width / 2)
            cut = width;
        out << rest.left(cut);
        rest = rest.mid(cut).trimmed();
    }
    out << rest;
    return out;
}

struct Group
{
    std::vector<int> columns;
    QStringList heading; // the heading row and its rule
    std::vector<QStringList> rows;
};

// The physical lines of one row of cells within a group.
QStringList rowLines(const QStringList &cells, const std::vector<int> &columns,
                     const std::vector<int> &widths)
{
    std::vector<QStringList> pieces;
    size_t height = 1;
    for (int c : columns) {
        pieces.push_back(wrap(c < cells.size() ? cells.at(c) : QString(), widths[size_t(c)]));
        height = std::max(height, size_t(pieces.back().size()));
    }
    QStringList lines;
    for (size_t line = 0; line < height; ++line) {
        QString text;
        for (size_t i = 0; i < columns.size(); ++i) {
            const QString piece = line < size_t(pieces[i].size()) ? pieces[i].at(int(line))
                                                                  : QString();
            if (i + 1 < columns.size())
                text += piece.leftJustified(widths[size_t(columns[i])] + kGap, QLatin1Char(' '));
            else
                text += piece;
        }
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        lines << text;
    }
    return lines;
}

} // namespace

std::vector<QStringList> textTablePages(const QString &text, int lineWidth, int linesPerPage,
                                        int maxColumn)
{
    lineWidth = std::max(lineWidth, 1);
    linesPerPage = std::max(linesPerPage, 3);
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    std::vector<QStringList> table;
    for (const QString &line : lines) {
        QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() > 1 && cells.last().isEmpty())
            cells.removeLast(); // every line ends with a tab
        table.push_back(cells);
    }
    std::vector<QStringList> pages;
    if (table.empty())
        return pages;

    size_t columnCount = 0;
    for (const QStringList &row : table)
        columnCount = std::max(columnCount, size_t(row.size()));
    std::vector<int> widths(columnCount, 1);
    const int widest = std::min(maxColumn, lineWidth);
    for (const QStringList &row : table) {
        for (int c = 0; c < row.size(); ++c)
            widths[size_t(c)] = std::clamp(int(row.at(c).size()), widths[size_t(c)], widest);
    }

    // Columns side by side while they fit the line.
    std::vector<Group> groups;
    int used = 0;
    for (size_t c = 0; c < columnCount; ++c) {
        if (groups.empty() || used + kGap + widths[c] > lineWidth) {
            groups.emplace_back();
            used = -kGap;
        }
        groups.back().columns.push_back(int(c));
        used += kGap + widths[c];
    }
    QStringList rule;
    for (int width : widths)
        rule << QString(width, QLatin1Char('-'));
    for (Group &g : groups) {
        g.heading = rowLines(table.front(), g.columns, widths);
        g.heading << rowLines(rule, g.columns, widths);
        for (size_t r = 1; r < table.size(); ++r)
            g.rows.push_back(rowLines(table[r], g.columns, widths));
    }

    QStringList page;
    const auto flush = [&] {
        pages.push_back(page);
        page.clear();
    };
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const Group &g = groups[gi];
        // A group starts with its heading and at least its first row.
        const int firstRow = g.rows.empty() ? 0 : int(g.rows.front().size());
        if (!page.isEmpty()) {
            if (page.size() + 1 + g.heading.size() + firstRow > linesPerPage)
                flush();
            else
                page << QString();
        }
        page << g.heading;
        for (const QStringList &row : g.rows) {
            if (page.size() + row.size() > linesPerPage && page.size() > g.heading.size()) {
                flush();
                page << g.heading;
            }
            // A row taller than a page is cut into page-sized pieces.
            for (const QString &line : row) {
                if (page.size() >= linesPerPage) {
                    flush();
                    page << g.heading;
                }
                page << line;
            }
        }
    }
    flush();
    return pages;
}

void writeTextTablePdf(const QString &text, const QString &fileName, const QString &title)
{
    QSaveFile file(fileName);
    const auto fail = [&] {
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()).toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Medlantis"));
        writer.setTitle(title);
        writer.setPageLayout(QPageLayout(QPageSize(ReportLayout::defaultPageSize()),
                                         QPageLayout::Landscape, QMarginsF(36, 36, 36, 36),
                                         QPageLayout::Point));
        QFont font(QStringLiteral("Monospace"));
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        font.setPointSizeF(8);
        const QFontMetricsF metrics(font, &writer);
        const QRect area(QPoint(0, 0),
                         writer.pageLayout().paintRectPixels(writer.resolution()).size());
        const double lineHeight = metrics.lineSpacing();
        const int lineWidth = int(area.width() / metrics.horizontalAdvance(QLatin1Char('M')));
        // The last two lines hold the page number.
        const int linesPerPage = int(area.height() / lineHeight) - 2;
        const std::vector<QStringList> pages = textTablePages(text, lineWidth, linesPerPage);

        QPainter painter;
        if (!painter.begin(&writer))
            fail();
        painter.setFont(font);
        for (size_t p = 0; p < pages.size(); ++p) {
            if (p > 0)
                writer.newPage();
            double y = metrics.ascent();
            for (const QString &line : pages[p]) {
                painter.drawText(QPointF(0, y), line);
                y += lineHeight;
            }
            const QString number = QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages.size());
            painter.drawText(QPointF(area.width() - metrics.horizontalAdvance(number),
                                     area.height() - metrics.descent()),
                             number);
        }
        painter.end();
    }
    if (!file.commit())
        fail();
}
