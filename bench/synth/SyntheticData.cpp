#include "synth/SyntheticData.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <sqlite3.h>

#include "data/Connection.h"
#include "data/Schema.h"

namespace {

const char *const kFemale[] = {
    "Mary", "Patricia", "Jennifer", "Linda", "Elizabeth", "Barbara", "Susan", "Jessica",
    "Sarah", "Karen", "Lisa", "Nancy", "Sandra", "Ashley", "Emily", "Donna", "Michelle",
    "Carol", "Amanda", "Melissa", "Deborah", "Stephanie", "Rebecca", "Laura", "Helen",
    "Maria", "Ana", "Sofia", "Lucia", "Isabel", "Camila", "Valentina", "Chloé", "Zoë",
    "Ingrid", "Agnieszka", "Yuki", "Mei", "Aisha", "Fatima", "Priya", "Olga", "Małgorzata"};
const char *const kMale[] = {
    "James", "Robert", "John", "Michael", "David", "William", "Richard", "Joseph", "Thomas",
    "Charles", "Christopher", "Daniel", "Matthew", "Anthony", "Mark", "Steven", "Paul",
    "Andrew", "Joshua", "Kenneth", "Kevin", "Brian", "George", "Timothy", "Ronald", "José",
    "Juan", "Carlos", "Luis", "Miguel", "Pedro", "François", "Jürgen", "Søren", "Łukasz",
    "Hiroshi", "Wei", "Omar", "Ahmed", "Rahul", "Ivan", "Dmitri", "Tomás"};
const char *const kLast[] = {
    "Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia", "Miller", "Davis", "Rodriguez",
    "Martinez", "Hernandez", "Lopez", "Gonzalez", "Wilson", "Anderson", "Thomas", "Taylor",
    "Moore", "Jackson", "Martin", "Lee", "Perez", "Thompson", "White", "Harris", "Sanchez",
    "Clark", "Ramirez", "Lewis", "Robinson", "Walker", "Young", "Allen", "King", "Wright",
    "Scott", "Torres", "Nguyen", "Hill", "Flores", "Green", "Adams", "Nelson", "Baker", "Hall",
    "Rivera", "Campbell", "Mitchell", "Carter", "Roberts", "O'Brien", "O'Connor", "D'Angelo",
    "Müller", "Schäfer", "Kowalski", "Wiśniewski", "Nowak", "Dubois", "Lefèvre", "Rossi",
    "Esposito", "Santos", "Pereira", "Tanaka", "Suzuki", "Wang", "Chen", "Kim", "Park",
    "Patel", "Singh", "Haddad", "Ivanov", "Petrov", "Van der Berg", "De la Cruz", "MacDonald",
    "Fitzgerald", "Papadopoulos", "Johansson", "Andersen", "Novak", "Horvat", "Kovács"};
const char *const kStreets[] = {
    "Main St", "Oak Ave", "Maple Dr", "Cedar Ln", "Pine St", "Elm St", "Washington Blvd",
    "Lake Rd", "Hillcrest Dr", "Sunset Ave", "Park Pl", "River Rd", "Church St", "Mill Ln"};
const struct
{
    const char *city;
    const char *state;
    const char *zip;
} kPlaces[] = {{"Springfield", "IL", "627"}, {"Riverside", "CA", "925"},
               {"Franklin", "TN", "370"},    {"Greenville", "SC", "296"},
               {"Madison", "WI", "537"},     {"Salem", "OR", "973"},
               {"Georgetown", "TX", "786"},  {"Clinton", "IA", "527"},
               {"Fairview", "NJ", "070"},    {"Arlington", "VA", "222"}};
const char *const kMarital[] = {"Single", "Married", "Married", "Widowed", "Separated",
                                "Divorced"};
const char *const kComplaints[] = {
    "Cough and colds for 3 days", "Fever", "Headache", "Low back pain",
    "Abdominal pain, epigastric", "Sore throat", "Follow-up: hypertension",
    "Follow-up: diabetes mellitus type 2", "Rash on both arms", "Dizziness",
    "Chest pain on exertion", "Shortness of breath", "Annual physical examination",
    "Painful urination", "Ear pain, right", "Sprained left ankle", "Fatigue",
    "Prenatal check-up", "Vaccination", "Joint pain, knees"};
const char *const kDoctors[] = {"Dr. Helen Carter", "Dr. Samuel Ortiz", "Dr. Priya Raman",
                                "Dr. Jonas Weber", "Dr. Grace Liu", "Dr. Marco Bianchi"};
const char *const kNurses[] = {"N. Alvarez", "R. Okafor", "T. Lindqvist", "M. Reyes",
                               "K. Brennan", "S. Dubey"};
const char *const kSentences[] = {
    "Patient reports symptoms started gradually.",
    "No known drug allergies.",
    "Denies nausea, vomiting or diarrhea.",
    "Takes medication regularly as prescribed.",
    "Non-smoker, drinks alcohol occasionally.",
    "Family history of hypertension on the father's side.",
    "Advised to increase fluid intake and rest.",
    "Symptoms relieved partially by paracetamol.",
    "Works as a teacher; reports moderate stress.",
    "Lives with spouse and two children.",
    "Blood pressure has been stable on home monitoring.",
    "Will return for follow-up in two weeks or earlier if symptoms worsen.",
    "Sleep is disturbed by the cough at night.",
    "Appetite good, weight stable.",
    "Previous episode two years ago resolved without treatment."};

class Generator
{
public:
    explicit Generator(quint32 seed) : m_rng(seed) {}

    int number(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_rng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }
    template <size_t N>
    QString pick(const char *const (&list)[N])
    {
        return QString::fromUtf8(list[size_t(number(0, int(N) - 1))]);
    }
    QString digits(int count)
    {
        QString s;
        for (int i = 0; i < count; ++i)
            s += QChar('0' + number(0, 9));
        return s;
    }
    QString phone()
    {
        return QStringLiteral("(%1) %2-%3")
            .arg(number(201, 989))
            .arg(number(200, 999))
            .arg(digits(4));
    }
    QString date(const QDate &from, const QDate &to)
    {
        const QDate day = from.addDays(number(0, int(from.daysTo(to))));
        return day.toString(QStringLiteral("yyyy-MM-dd"));
    }
    // Prose of about the given length, from the sentence bank.
    QString text(int minLength, int maxLength)
    {
        const int length = number(minLength, maxLength);
        QString s;
        while (s.size() < length)
            s += (s.isEmpty() ? QString() : QStringLiteral(" ")) + pick(kSentences);
        return s;
    }
    std::mt19937 &rng() { return m_rng; }

private:
    std::mt19937 m_rng;
};

// A small portrait-shaped picture, stored as the patient editor stores one.
QByteArray photo(Generator &g)
{
    QImage image(96, 120, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(g.number(0, 359), 60, 230));
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromHsv(g.number(0, 359), 120, 150));
    p.drawEllipse(QPoint(48, 45), 24, 28);
    p.drawRoundedRect(QRect(14, 82, 68, 50), 20, 20);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

class Statement
{
public:
    Statement(Connection &conn, const char *sql) : m_conn(conn)
    {
        const int rc = sqlite3_prepare_v2(conn.requireOpen(), sql, -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            conn.raise(rc);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    void bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    void bindBlob(int index, const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            sqlite3_bind_null(m_stmt, index);
        else
            sqlite3_bind_blob(m_stmt, index, bytes.constData(), int(bytes.size()),
                              SQLITE_TRANSIENT);
    }
    void run()
    {
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (rc != SQLITE_DONE)
            m_conn.raise(rc);
    }
    qint64 scalar()
    {
        const int rc = sqlite3_step(m_stmt);
        const qint64 v = rc == SQLITE_ROW ? sqlite3_column_int64(m_stmt, 0) : 0;
        sqlite3_reset(m_stmt);
        return v;
    }

private:
    Connection &m_conn;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace

SyntheticCounts fillSyntheticData(Connection &conn, const SyntheticOptions &options)
{
    Generator g(options.seed);
    SyntheticCounts counts;
    Transaction tx(conn);
    qint64 patientId = Statement(conn, "select max(PatientID) from PatientRecords").scalar();
    qint64 historyId = Statement(conn, "select max(HistoryID) from MedicalHistory").scalar();
    Statement patient(
        conn,
        "insert into PatientRecords (PatientID, LastName, FirstName, MiddleName, SSN, "
        "MedicareNumber, DateOfBirth, Gender, MaritalStatus, Address1, Address2, City, State, "
        "Zip, Country, Phone, Mobile, ContactPerson, ContactNo, Notes, Photo, Illness, "
        "Hospitalization, Medications, Allergies, FamilyHistory, TobaccoUse, AlcoholUse) "
        "values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
        "?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26, ?27, ?28)");
    Statement visit(conn,
                    "insert into MedicalHistory (HistoryID, PatientID, VisitDate, ChiefComplaint, "
                    "Physician, Nurse, HistoryPresentIllness, BloodPressure, HeartRate, "
                    "RespiratoryRate, Temperature, Height, Weight, PEGeneral, Diagnosis, "
                    "Therapeutics) values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
                    "?13, ?14, ?15, ?16)");
    const QDate today = QDate(2024, 12, 31);
    std::poisson_distribution<int> visitsOf(options.visitsPerPatient);

    for (int i = 0; i < options.patients; ++i) {
        ++patientId;
        const bool female = g.chance(0.52);
        const auto &place = kPlaces[size_t(g.number(0, int(std::size(kPlaces)) - 1))];
        const QString last = g.pick(kLast);
        patient.bind(1, patientId);
        patient.bind(2, last);
        patient.bind(3, female ? g.pick(kFemale) : g.pick(kMale));
        patient.bind(4, g.chance(0.7) ? g.pick(kLast) : QString());
        patient.bind(5, QStringLiteral("%1-%2-%3").arg(g.digits(3), g.digits(2), g.digits(4)));
        patient.bind(6, g.chance(0.3) ? g.digits(10) + QChar('A' + g.number(0, 25)) : QString());
        patient.bind(7, g.date(QDate(1928, 1, 1), QDate(2023, 12, 31)));
        patient.bind(8, female ? QStringLiteral("Female") : QStringLiteral("Male"));
        patient.bind(9, g.pick(kMarital));
        patient.bind(10, QStringLiteral("%1 %2").arg(g.number(1, 9999)).arg(g.pick(kStreets)));
        const bool apartment = g.chance(0.2);
        patient.bind(11, apartment ? QStringLiteral("Apt %1").arg(g.number(1, 40)) : QString());
        patient.bind(12, QString::fromUtf8(place.city));
        patient.bind(13, QString::fromUtf8(place.state));
        patient.bind(14, QString::fromUtf8(place.zip) + g.digits(2));
        patient.bind(15, QStringLiteral("USA"));
        patient.bind(16, g.chance(0.6) ? g.phone() : QString());
        patient.bind(17, g.chance(0.85) ? g.phone() : QString());
        patient.bind(18, g.pick(female ? kMale : kFemale) + QLatin1Char(' ') + last);
        patient.bind(19, g.phone());
        patient.bind(20, g.chance(0.5) ? g.text(20, 300) : QString());
        const bool withPhoto = options.photoEvery > 0 && i % options.photoEvery == 0;
        patient.bindBlob(21, withPhoto ? photo(g) : QByteArray());
        counts.photos += withPhoto;
        patient.bind(22, g.chance(0.4) ? g.text(10, 120) : QStringLiteral("None"));
        patient.bind(23, g.chance(0.2) ? g.text(10, 120) : QStringLiteral("None"));
        patient.bind(24, g.chance(0.5) ? g.text(10, 80) : QStringLiteral("None"));
        patient.bind(25, g.chance(0.3) ? QStringLiteral("Penicillin") : QStringLiteral("NKDA"));
        patient.bind(26, g.chance(0.5) ? g.text(10, 120) : QString());
        patient.bind(27, g.chance(0.2) ? QStringLiteral("Yes") : QStringLiteral("No"));
        patient.bind(28, g.chance(0.4) ? QStringLiteral("Occasional") : QStringLiteral("No"));
        patient.run();
        ++counts.patients;

        const int visits = visitsOf(g.rng());
        for (int v = 0; v < visits; ++v) {
            visit.bind(1, ++historyId);
            visit.bind(2, patientId);
            visit.bind(3, g.date(QDate(2015, 1, 1), today));
            visit.bind(4, g.pick(kComplaints));
            visit.bind(5, g.pick(kDoctors));
            visit.bind(6, g.pick(kNurses));
            visit.bind(7, g.text(60, 600));
            visit.bind(8, QStringLiteral("%1/%2").arg(g.number(100, 160)).arg(g.number(60, 100)));
            visit.bind(9, QString::number(g.number(55, 110)));
            visit.bind(10, QString::number(g.number(12, 24)));
            visit.bind(11, QStringLiteral("%1.%2").arg(g.number(36, 39)).arg(g.number(0, 9)));
            visit.bind(12, QString::number(g.number(120, 195)));
            visit.bind(13, QString::number(g.number(35, 120)));
            visit.bind(14, g.text(20, 150));
            visit.bind(15, g.pick(kComplaints));
            visit.bind(16, g.text(20, 200));
            visit.run();
            ++counts.visits;
        }
    }
    // As the program's own writes do, the new rows get their folded names.
    Schema::fillFoldedNames(conn);
    tx.commit();
    return counts;
}

SyntheticCounts createSyntheticDatabase(const QString &templatePath, const QString &path,
                                        const SyntheticOptions &options)
{
    QFile::remove(path);
    if (!QFile::copy(templatePath, path))
        throw std::runtime_error(QStringLiteral("Cannot copy %1 to %2")
                                     .arg(templatePath, path)
                                     .toStdString());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    Connection conn;
    conn.Open(path, QString());
    return fillSyntheticData(conn, options);
}

QString benchDatabase(std::vector<char *> &args)
{
    QString database = QDir::temp().filePath(QStringLiteral("medlantis-bench-100k.mdb"));
    int patients = 100000;
    std::vector<char *> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        if (i > 0 && arg == "--database" && i + 1 < args.size())
            database = QString::fromLocal8Bit(args[++i]);
        else if (i > 0 && arg == "--patients" && i + 1 < args.size())
            patients = std::atoi(args[++i]);
        else
            rest.push_back(args[i]);
    }
    args = rest;
    if (!QFileInfo::exists(database)) {
        SyntheticOptions options;
        options.patients = patients;
        options.visitsPerPatient = 1;
        options.photoEvery = 1000;
        makeSyntheticDatabase(database, options);
    }
    return database;
}

void makeSyntheticDatabase(const QString &path, const SyntheticOptions &options)
{
    QElapsedTimer timer;
    timer.start();
    const SyntheticCounts made = createSyntheticDatabase(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("dbBlank.mdb")), path,
        options);
    std::printf("Made %s: %d patients, %d visits, %d photos in %.1f s\n", qPrintable(path),
                made.patients, made.visits, made.photos, timer.elapsed() / 1000.0);
}
