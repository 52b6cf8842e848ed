#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/ErrorTrap.h"
#include "shell/Settings.h"
#include "shell/modMain.h"
#include "support/FakePrompter.h"

TEST(Paths, NormalizeAndFolderOfPath)
{
    struct Case
    {
        const char *path;
        char sep;
        const char *normalized;
    };
    const Case cases[] = {
        {"C:\\\\Data\\\\Medlantis\\dbData.mdb", '\\', "C:\\Data\\Medlantis\\dbData.mdb"},
        {"C:\\a\\\\\\b", '\\', "C:\\a\\\\b"}, // one pass: three become two
        {"\\\\\\\\server\\\\share\\db.mdb", '\\', "\\\\server\\share\\db.mdb"},
        {"\\server\\share", '\\', "\\\\server\\share"},
        {"dbData.mdb", '\\', "dbData.mdb"},
        {"/home//anna/.local//share/db.mdb", '/', "/home/anna/.local/share/db.mdb"},
        {"///srv/db.mdb", '/', "/srv/db.mdb"}, // a POSIX root keeps one slash
        {"relative//x", '/', "relative/x"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(NormalizePath(QString::fromUtf8(c.path), QLatin1Char(c.sep)).toStdString(),
                  c.normalized)
            << c.path;
    }
    EXPECT_EQ(FolderOfPath(QStringLiteral("C:\\Data\\db.mdb"), QLatin1Char('\\')),
              QStringLiteral("C:\\Data\\"));
    EXPECT_EQ(FolderOfPath(QStringLiteral("dbData.mdb"), QLatin1Char('\\')), QString());
    // The marker of a database given as a bare file name.
    EXPECT_EQ(NormalizePath(FolderOfPath(QStringLiteral("db.mdb"), QLatin1Char('\\'))
                                + QStringLiteral("\\users.lst"),
                            QLatin1Char('\\')),
              QStringLiteral("\\\\users.lst"));
    EXPECT_EQ(FolderOfPath(QStringLiteral("/home/anna/db.mdb")), QStringLiteral("/home/anna/"));
}

TEST(Utilities, AgeCountsTheNewYearOnTheBirthday)
{
    const QDate today(2026, 12, 9);
    EXPECT_EQ(AgeInYears(QStringLiteral("1990-12-09"), today), 36);
    EXPECT_EQ(AgeInYears(QStringLiteral("1990-12-10"), today), 35);
    EXPECT_EQ(AgeInYears(QStringLiteral("12/09/1990"), today), 36); // typed form
    EXPECT_EQ(AgeInYears(QStringLiteral("2028-01-01"), today), -2);
    EXPECT_THROW(AgeInYears(QStringLiteral("not a date"), today), std::exception);
}

TEST(Utilities, SmallTextHelpers)
{
    EXPECT_EQ(RemoveSpaces(QStringLiteral("Last  Name\tX")), QStringLiteral("LastName\tX"));
    EXPECT_EQ(sqlText(QStringLiteral("O'Brien's")), QStringLiteral("O''Brien''s"));
    EXPECT_EQ(NullToDefault(QVariant(), QStringLiteral("")).toString(), QString());
    EXPECT_EQ(NullToDefault(QVariant(7), QStringLiteral("")).toInt(), 7);
    EXPECT_EQ(qtFileFilter(QStringLiteral("Text Files (*.txt)|*.txt")),
              QStringLiteral("Text Files (*.txt)"));
    EXPECT_EQ(qtFileFilter(QStringLiteral("All Photo Files (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|")),
              QStringLiteral("All Photo Files (*.jpg *.jpeg *.bmp)"));
    EXPECT_EQ(qtFileFilter(QStringLiteral("Database File (*.mdb)|*mdb|")),
              QStringLiteral("Database File (*mdb)"));
}

TEST(Utilities, FilesAndFolders)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QString text = QStringLiteral("first");
    EXPECT_EQ(ReadWriteTextFile(file, text, 2), 0);
    text = QStringLiteral("second");
    EXPECT_EQ(ReadWriteTextFile(file, text, 3), 0);
    QString back;
    EXPECT_EQ(ReadWriteTextFile(file, back, 1), 0);
    EXPECT_EQ(back, QStringLiteral("first\r\nsecond\r\n"));
    EXPECT_NE(ReadWriteTextFile(dir.filePath(QStringLiteral("no/such/dir/x.txt")), text, 2), 0);
    EXPECT_NE(ReadWriteTextFile(dir.filePath(QStringLiteral("missing.txt")), back, 1), 0);

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExistsStrict(file));
    EXPECT_FALSE(FileExistsStrict(dir.path()));
    EXPECT_FALSE(FileExistsStrict(dir.filePath(QStringLiteral("*.txt"))));
    EXPECT_TRUE(IsFolder(dir.path()));
    EXPECT_FALSE(IsFolder(file));

    // Copies overwrite, and only into an existing folder.
    const QString copy = dir.filePath(QStringLiteral("b.txt"));
    WriteBytesToFile(copy, "old");
    CopyFiles(file, copy);
    EXPECT_EQ(ReadWriteTextFile(copy, back, 1), 0);
    EXPECT_EQ(back, QStringLiteral("first\r\nsecond\r\n"));
    CopyFiles(file, dir.filePath(QStringLiteral("missing/c.txt")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/c.txt"))));

    QFile::setPermissions(copy, QFile::ReadOwner);
    RemoveFile(copy);
    EXPECT_FALSE(QFile::exists(copy));
}

TEST(Settings, DefaultsStandInAndValuesPersist)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("s.ini"));
    {
        Settings s(ini);
        EXPECT_EQ(s.GetSetting(SettingKeys::BackupFilename, QStringLiteral("dbData.mdb")),
                  QStringLiteral("dbData.mdb"));
        s.SaveSetting(SettingKeys::LastLogin, QStringLiteral("2"));
    }
    Settings again(ini);
    EXPECT_EQ(again.GetSetting(SettingKeys::LastLogin, QStringLiteral("0")), QStringLiteral("2"));

    // A settings file that cannot be read (here: a folder in its place) gives the defaults.
    const QString broken = dir.filePath(QStringLiteral("broken.ini"));
    QDir().mkpath(broken);
    Settings unreadable(broken);
    EXPECT_EQ(unreadable.GetSetting(SettingKeys::LastLogin, QStringLiteral("0")), QStringLiteral("0"));
}

TEST(ErrorTrap, BoxTextIsExactAndStepsAreNumberedFrom100)
{
    EXPECT_EQ(applicationErrorText(QStringLiteral("Disk full"), QStringLiteral("frmX"),
                                   QStringLiteral("cmdSave_Click"), 104),
              QStringLiteral("Disk full\r\nin Pathmere2021/08/31.frmX.cmdSave_Click at line 104"
                             "\r\rPlease email screenshot of this message to "
                             "support@medlantis.example"));

    FakePrompter p;
    QStringList ran;
    Steps step(p, QStringLiteral("frmX"), QStringLiteral("Proc"));
    step([&] { ran << QStringLiteral("100"); });
    step([&] { throw std::runtime_error("boom"); });
    step([&] { ran << QStringLiteral("104"); });
    step([&] { step.stop(); });
    step([&] { ran << QStringLiteral("skipped"); });
    EXPECT_EQ(ran, (QStringList{QStringLiteral("100"), QStringLiteral("104")}));
    EXPECT_TRUE(step.failed());
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.last().title, QStringLiteral("Application Error"));
    EXPECT_EQ(p.last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(p.last().text.startsWith(QStringLiteral("boom\r\nin Pathmere2021/08/31.frmX.Proc at line 102\r\r")));
}

TEST(PdfPrinter, NoticeOnlyWhenThePrinterIsMissing)
{
    struct Printers : PrinterList
    {
        QStringList names;
        QStringList printerNames() const override { return names; }
    } printers;
    FakePrompter p;
    printers.names = {QStringLiteral("Office"), QStringLiteral("Trevanto PDF Writer")};
    CheckPdfPrinter(printers, p);
    EXPECT_TRUE(p.boxes.empty());

    printers.names = {QStringLiteral("trevanto pdf writer")}; // compared exactly
    CheckPdfPrinter(printers, p);
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.last().title, QStringLiteral("Medlantis"));
    EXPECT_EQ(p.last().icon, MsgIcon::None);
    EXPECT_TRUE(p.last().text.startsWith(QStringLiteral(
        "Trevanto PDF Writer is not installed. Please follow these instructions:\r\n\r\n1) Go to")));
    EXPECT_TRUE(p.last().text.endsWith(QStringLiteral(
        "4) Enter Trevanto PDF Writer as Printer name, click Next -> Finish.")));
}
