#include "reports/modSaveRecordset.h"

#include <algorithm>
#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "reports/ReportData.h"
#include "reports/TextTablePdf.h"
#include "reports/WaitCursor.h"
#include "shell/AppState.h"
#include "shell/ErrorTrap.h"
#include "shell/PrivateFiles.h"
#include "shell/Prompter.h"
#include "shell/modMain.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

[[noreturn]] void cannotWrite(const QString &fileName, const QString &reason)
{
    throw std::runtime_error(
        QStringLiteral("Cannot write the file %1: %2").arg(fileName, reason).toStdString());
}

// Element text: the three markup characters escaped, and the control
// characters XML cannot hold at all left out.
QString xmlText(const QString &value)
{
    const auto plain = [](QChar ch) {
        return ch.unicode() >= 0x20 && ch != QLatin1Char('&') && ch != QLatin1Char('<')
               && ch != QLatin1Char('>') && ch.unicode() < 0xFFFE;
    };
    if (std::all_of(value.begin(), value.end(), plain))
        return value;
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar ch : value) {
        switch (ch.unicode()) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '\t':
        case '\n':
        case '\r':
            out += ch;
            break;
        default:
            if (ch.unicode() >= 0x20 && ch.unicode() != 0xFFFE && ch.unicode() != 0xFFFF)
                out += ch;
        }
    }
    return out;
}

bool isNameStart(QChar ch)
{
    const char16_t c = ch.unicode();
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'
           || (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
           || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF)
           || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F)
           || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
           || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD);
}

bool isNameChar(QChar ch)
{
    const char16_t c = ch.unicode();
    return isNameStart(ch) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7
           || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// What an export wrote, for its trail row: the rows, and the patient when
// every row belongs to one.
struct Tally
{
    int rows = 0;
    int patientField = -1;
    QString patient;
    bool onePatient = true;

    explicit Tally(const Recordset &rs)
    {
        patientField = rs.FieldIndex(QStringLiteral("PatientID"));
        if (patientField < 0)
            patientField = rs.FieldIndex(QStringLiteral("Patient ID"));
    }
    void count(const std::vector<QString> &values)
    {
        ++rows;
        const QString id = patientField >= 0 ? values[size_t(patientField)] : QString();
        if (id.isEmpty() || (!patient.isEmpty() && id != patient))
            onePatient = false;
        patient = id;
    }
    QVariant patientId() const { return onePatient && rows > 0 ? QVariant(patient) : QVariant(); }
};

// Each row's values as text, from the current row to the end.
template <class Row>
void eachRow(Recordset &rs, Row row, Tally *tally = nullptr)
{
    std::vector<QString> values(size_t(rs.FieldCount()));
    while (!rs.isEOF()) {
        for (int i = 0; i < rs.FieldCount(); ++i)
            values[size_t(i)] = valueText(rs.Value(i));
        if (tally)
            tally->count(values);
        row(values);
        rs.MoveNext();
    }
}

// The export's trail row; an export that cannot leave its trace is undone.
void trailExport(const Recordset &rs, const Tally &tally, const QString &what,
                 const QString &target)
{
    Connection *db = rs.connection();
    if (!db)
        return;
    try {
        Audit::add(*db, Audit::output(QStringLiteral("Export"), what, target, rs, tally.rows,
                                      tally.patientId()));
    } catch (...) {
        if (!target.isEmpty())
            QFile::remove(target);
        throw;
    }
}

// Collects the whole text in memory.
struct TextSink
{
    QString text;
    TextSink &operator<<(const QString &s)
    {
        text += s;
        return *this;
    }
};

// Streams the text into a temporary file beside the target in pieces and
// puts it in place only when all is written, so a large export needs little
// memory and a failure leaves no file behind.
class FileSink
{
public:
    explicit FileSink(const QString &fileName) : m_file(fileName)
    {
        if (!m_file.open(QIODevice::WriteOnly))
            cannotWrite(fileName, m_file.errorString());
        m_buffer.reserve(kChunk + 4096);
    }
    FileSink &operator<<(const QString &s)
    {
        m_buffer += s;
        if (m_buffer.size() >= kChunk)
            flush();
        return *this;
    }
    void commit()
    {
        m_buffer += kCrLf;
        flush();
        if (!m_file.commit())
            cannotWrite(m_file.fileName(), m_file.errorString());
    }

private:
    static constexpr int kChunk = 1 << 18;
    void flush()
    {
        const QByteArray bytes = m_buffer.toUtf8();
        if (m_file.write(bytes) != bytes.size())
            cannotWrite(m_file.fileName(), m_file.errorString());
        m_buffer.resize(0);
    }
    QSaveFile m_file;
    QString m_buffer;
};

template <class Sink>
void writeXml(Recordset &rs, Sink &out, Tally *tally = nullptr)
{
    std::vector<QString> open;
    std::vector<QString> close;
    for (const QString &field : rs.FieldNames()) {
        const QString name = xmlElementName(field);
        open.push_back(QLatin1Char('<') + name + QLatin1Char('>'));
        close.push_back(QStringLiteral("</") + name + QLatin1Char('>') + kCrLf);
    }
    const QString rowStart = QStringLiteral("<row>") + kCrLf;
    const QString rowEnd = QStringLiteral("</row>") + kCrLf;
    out << QStringLiteral("<xml>") + kCrLf;
    eachRow(rs, [&](const std::vector<QString> &values) {
        out << rowStart;
        for (size_t i = 0; i < values.size(); ++i)
            out << open[i] << xmlText(values[i]) << close[i];
        out << rowEnd;
    }, tally);
    out << QStringLiteral("</xml>");
}

// A spreadsheet opens CSV and TXT files too, and runs a cell that starts with
// one of these as a formula; a number such as -5 it only reads.
QString spreadsheetText(const QString &value)
{
    if (value.isEmpty() || !QStringLiteral("=+-@\t\r").contains(value.at(0)))
        return value;
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+([.][0-9]*)?|[.][0-9]+)([eE][+-]?[0-9]+)?$"));
    if (number.match(value).hasMatch())
        return value;
    return QLatin1Char('\'') + value;
}

QString csvField(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + v + QStringLiteral("\",");
}

template <class Sink>
void writeCsv(Recordset &rs, Sink &out, Tally *tally = nullptr)
{
    for (const QString &field : rs.FieldNames())
        out << csvField(field);
    out << kCrLf;
    eachRow(rs, [&](const std::vector<QString> &values) {
        for (const QString &v : values)
            out << csvField(spreadsheetText(v));
        out << kCrLf;
    }, tally);
}

// A tab or a line break inside a value would split its row or shift the
// values under the wrong headings: each becomes one blank.
QString txtField(const QString &value)
{
    const auto breaks = [](QChar ch) {
        return ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n');
    };
    if (std::none_of(value.begin(), value.end(), breaks))
        return value;
    QString v = value;
    for (QChar &ch : v) {
        if (breaks(ch))
            ch = QLatin1Char(' ');
    }
    return v;
}

template <class Sink>
void writeTxt(Recordset &rs, Sink &out, Tally *tally = nullptr)
{
    const QString tab(QLatin1Char('\t'));
    for (const QString &field : rs.FieldNames())
        out << txtField(field) << tab;
    out << kCrLf;
    eachRow(rs, [&](const std::vector<QString> &values) {
        for (const QString &v : values)
            out << txtField(spreadsheetText(v)) << tab;
        out << kCrLf;
    }, tally);
}

} // namespace

void SaveTextToFile(const QString &text, const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        cannotWrite(fileName, file.errorString());
    const QByteArray bytes = (text + kCrLf).toUtf8();
    if (file.write(bytes) != bytes.size())
        cannotWrite(fileName, file.errorString());
    if (!file.commit())
        cannotWrite(fileName, file.errorString());
}

QString xmlElementName(const QString &fieldName)
{
    QString name = fieldName;
    for (int i = 0; i < name.size(); ++i) {
        if (i == 0 ? !isNameStart(name.at(i)) : !isNameChar(name.at(i)))
            name[i] = QLatin1Char('_');
    }
    return name.isEmpty() ? QStringLiteral("_") : name;
}

QString recordsetXml(Recordset &rs)
{
    TextSink sink;
    writeXml(rs, sink);
    return sink.text;
}

QString recordsetCsv(Recordset &rs)
{
    TextSink sink;
    writeCsv(rs, sink);
    return sink.text;
}

QString recordsetTxt(Recordset &rs)
{
    TextSink sink;
    writeTxt(rs, sink);
    return sink.text;
}

void SaveRecordsetToXML(Recordset &rs, const QString &fileName)
{
    Tally tally(rs);
    FileSink file(fileName);
    writeXml(rs, file, &tally);
    file.commit();
    trailExport(rs, tally, QStringLiteral("XML file"), fileName);
}

void SaveRecordsetToCSV(Recordset &rs, const QString &fileName)
{
    Tally tally(rs);
    FileSink file(fileName);
    writeCsv(rs, file, &tally);
    file.commit();
    trailExport(rs, tally, QStringLiteral("CSV file"), fileName);
}

void SaveRecordsetToTXT(Recordset &rs, const QString &fileName)
{
    Tally tally(rs);
    FileSink file(fileName);
    writeTxt(rs, file, &tally);
    file.commit();
    trailExport(rs, tally, QStringLiteral("Text file"), fileName);
}

namespace {
void writeXlsx(Recordset &rs, const QString &path, const QString &tempFolder, Tally *tally);
} // namespace

void writeRecordsetXlsx(Recordset &rs, const QString &path, const QString &tempFolder)
{
    writeXlsx(rs, path, tempFolder, nullptr);
}

namespace {

void writeXlsx(Recordset &rs, const QString &path, const QString &tempFolder, Tally *tally)
{
    const QByteArray file = QFile::encodeName(path);
    QByteArray tmpdir = QFile::encodeName(tempFolder);
    lxw_workbook_options options{};
    // Rows go straight to disk, so a large export needs little memory.
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.isEmpty() ? nullptr : tmpdir.data();
    lxw_workbook *book = workbook_new_opt(file.constData(), &options);
    if (!book)
        cannotWrite(path, QStringLiteral("the workbook could not be created."));
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);

    lxw_error error = LXW_NO_ERROR;
    const auto check = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && error == LXW_NO_ERROR)
            error = e;
    };
    const auto writeText = [&](lxw_row_t row, lxw_col_t col, const QString &text) {
        // A cell holds at most 32767 characters.
        const QByteArray utf8 = text.left(32767).toUtf8();
        check(worksheet_write_string(sheet, row, col, utf8.constData(), nullptr));
    };

    const int fields = rs.FieldCount();
    for (int c = 0; c < fields; ++c)
        writeText(0, lxw_col_t(c), rs.FieldName(c));
    quint32 row = 1;
    std::vector<QString> texts(static_cast<size_t>(fields));
    while (!rs.isEOF() && error == LXW_NO_ERROR) {
        for (int c = 0; c < fields; ++c) {
            const QVariant v = rs.Value(c);
            if (tally)
                texts[size_t(c)] = valueText(v);
            switch (v.typeId()) {
            case QMetaType::UnknownType:
            case QMetaType::QByteArray:
                break; // NULL and pictures leave the cell empty
            case QMetaType::LongLong:
            case QMetaType::Int:
            case QMetaType::Double:
                check(worksheet_write_number(sheet, row, lxw_col_t(c), v.toDouble(), nullptr));
                break;
            default:
                if (!v.isNull())
                    writeText(row, lxw_col_t(c), v.toString());
            }
        }
        if (tally)
            tally->count(texts);
        ++row;
        rs.MoveNext();
    }
    const lxw_error closed = workbook_close(book);
    check(closed);
    if (error != LXW_NO_ERROR) {
        QFile::remove(path);
        cannotWrite(path, QString::fromUtf8(lxw_strerror(error)));
    }
}

} // namespace

void SaveRecordsetToXLS(Recordset &rs, const QString &fileName, AppState &state)
{
    Q_UNUSED(fileName);
    // A fresh name in this user's private temporary folder, reserved by
    // creating the file. Only its owner may read it: it holds patient data,
    // and it stays until the next start removes it.
    const QString folder = PrivateFiles::tempFolder(state.folders().temp);
    QTemporaryFile reserve(QDir(folder).filePath(workbookPattern()));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        cannotWrite(reserve.fileTemplate(), reserve.errorString());
    const QString path = QDir::toNativeSeparators(reserve.fileName());
    reserve.close();
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QFile::setPermissions(path, ownerOnly);
    Tally tally(rs);
    {
        const WaitCursor wait;
        writeXlsx(rs, path, folder, &tally);
    }
    trailExport(rs, tally, QStringLiteral("Spreadsheet"), path);
    if (!QFile::setPermissions(path, ownerOnly))
        cannotWrite(path, QStringLiteral("its permissions could not be set."));
    if (!state.prompter().openUrl(path)) {
        state.prompter().message(
            QStringLiteral("No spreadsheet program could open the workbook. It was saved as:")
                + kCrLf + path,
            QString(), MsgIcon::Information, MsgButtons::OK);
    }
}

QString workbookPattern()
{
    return QStringLiteral("Medlantis-XXXXXX.xlsx");
}

int removeOldWorkbooks(const QString &tempFolder)
{
    // The names QTemporaryFile makes from the pattern: six letters or digits.
    static const QRegularExpression name(QStringLiteral("^Medlantis-[A-Za-z0-9]{6}\\.xlsx$"));
    int removed = 0;
    const QDir folder(tempFolder);
    const QStringList candidates =
        folder.entryList({QStringLiteral("Medlantis-*.xlsx")}, QDir::Files | QDir::Hidden);
    for (const QString &file : candidates) {
        if (name.match(file).hasMatch() && QFile::remove(folder.filePath(file)))
            ++removed;
    }
    return removed;
}

void SaveRecordsetToPDF(Recordset &rs, const QString &fileName, AppState &state)
{
    Q_UNUSED(fileName);
    Prompter &prompter = state.prompter();
    Steps step(prompter, QStringLiteral("modSaveRecordset"), QStringLiteral("SaveRecordsetToPDF"));
    QString textPath;
    QString text;
    bool haveText = false;
    QString target;
    bool written = false;
    step([&] {
        textPath = state.newTempFile(QStringLiteral("Records-XXXXXX.txt"));
    });
    Tally tally(rs);
    step([&] {
        // Records.txt is only a step on the way: the trail names the PDF.
        FileSink file(textPath);
        writeTxt(rs, file, &tally);
        file.commit();
    });
    step([&] {
        if (!FileExists(textPath)) {
            step.stop();
            return;
        }
        QFile file(textPath);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("Cannot read the file %1: %2")
                                         .arg(textPath, file.errorString())
                                         .toStdString());
        text = QString::fromUtf8(file.readAll());
        haveText = true;
    });
    step([&] {
        if (haveText)
            target = prompter.saveFile(QStringLiteral("Save PDF"),
                                       QStringLiteral("PDF Files (*.pdf)|*.pdf"));
    });
    step([&] {
        if (!target.isEmpty()) {
            const WaitCursor wait;
            writeTextTablePdf(text, target, QStringLiteral("Records"));
            trailExport(rs, tally, QStringLiteral("PDF file"), target);
            written = true;
        }
    });
    step([&] { RemoveFile(textPath); });
    step([&] {
        if (written)
            prompter.openUrl(target);
    });
}
