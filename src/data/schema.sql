-- The working database: four tables and the audit trail. Ids are INTEGER PRIMARY KEY, so an
-- unordered select returns rows in id order, which the id allocation relies on.
-- Text columns of patients and visits sort without regard to letter case.

CREATE TABLE PatientRecords (
    PatientID INTEGER PRIMARY KEY,
    LastName TEXT COLLATE NOCASE,
    FirstName TEXT COLLATE NOCASE,
    MiddleName TEXT COLLATE NOCASE,
    SSN TEXT,
    MedicareNumber TEXT,
    DateOfBirth TEXT,
    Gender TEXT COLLATE NOCASE,
    MaritalStatus TEXT COLLATE NOCASE,
    Address1 TEXT,
    Address2 TEXT,
    City TEXT COLLATE NOCASE,
    State TEXT COLLATE NOCASE,
    Zip TEXT,
    Country TEXT COLLATE NOCASE,
    Phone TEXT,
    Mobile TEXT,
    ContactPerson TEXT,
    ContactNo TEXT,
    Notes TEXT,
    Photo BLOB,
    Illness TEXT,
    Hospitalization TEXT,
    Medications TEXT,
    Allergies TEXT,
    FamilyHistory TEXT,
    TobaccoUse TEXT,
    AlcoholUse TEXT,
    IllicitDrugUse TEXT,
    SexualHistory TEXT,
    OBScore TEXT,
    OBMenarche TEXT,
    OCPUse TEXT,
    PadsDay TEXT,
    NoDays TEXT,
    Regularity TEXT,
    DysmenorrheaNoted TEXT
);

-- @file
-- The embedded file keeps the case-folded names in columns of their own, so
-- that its indexes need nothing beyond what SQLite itself knows and any
-- SQLite tool can check, mend and write the file. The program fills them in
-- the transaction of every write of a name; a name that a tool or an older
-- version writes without them leaves them NULL (the trigger sees to it)
-- until the program's next write or start fills them again from the names.

ALTER TABLE PatientRecords ADD COLUMN FoldedLastName TEXT;

ALTER TABLE PatientRecords ADD COLUMN FoldedFirstName TEXT;

CREATE TRIGGER PatientRecordsNameChanged
    AFTER UPDATE OF LastName, FirstName ON PatientRecords
    WHEN NEW.FoldedLastName IS OLD.FoldedLastName AND NEW.FoldedFirstName IS OLD.FoldedFirstName
BEGIN
    UPDATE PatientRecords SET FoldedLastName = NULL, FoldedFirstName = NULL
        WHERE rowid = NEW.rowid;
END;

-- The patient list, its search and the patient selector read names through
-- these, in order and a page at a time, whatever the size of the practice.
-- Both names and the other folded name at the end let a search on one name,
-- in the order of either, its check on the name itself and its count read
-- the index alone.
CREATE INDEX PatientRecordsLastName
    ON PatientRecords (FoldedLastName, PatientID, LastName, FirstName, FoldedFirstName);

CREATE INDEX PatientRecordsFirstName
    ON PatientRecords (FoldedFirstName, PatientID, FirstName, LastName, FoldedLastName);

-- The rows whose folded names are still to be filled: few or none, so the
-- look at every start costs next to nothing.
CREATE INDEX PatientRecordsUnfolded ON PatientRecords (PatientID)
    WHERE FoldedLastName IS NULL OR FoldedFirstName IS NULL;

-- @server
-- The server keeps the folded names itself, whoever writes a name: the lower
-- case form in code point order, of at most 200 characters, so that no index
-- entry nears the server's limit on its size (a name is stored whole
-- whatever its length; a search on more than 200 letters checks the name).

ALTER TABLE PatientRecords ADD COLUMN FoldedLastName TEXT COLLATE "C"
    GENERATED ALWAYS AS (left(lower(coalesce(LastName, '')), 200)) STORED;

ALTER TABLE PatientRecords ADD COLUMN FoldedFirstName TEXT COLLATE "C"
    GENERATED ALWAYS AS (left(lower(coalesce(FirstName, '')), 200)) STORED;

-- The other name rides along, so that a search on one name in the order of
-- either and its count read an index alone.
CREATE INDEX PatientRecordsLastName
    ON PatientRecords (FoldedLastName, PatientID) INCLUDE (FoldedFirstName);

CREATE INDEX PatientRecordsFirstName
    ON PatientRecords (FoldedFirstName, PatientID) INCLUDE (FoldedLastName);

-- @both
-- Everything below is the same on both engines.

CREATE TABLE MedicalHistory (
    HistoryID INTEGER PRIMARY KEY,
    PatientID INTEGER,
    VisitDate TEXT,
    ChiefComplaint TEXT COLLATE NOCASE,
    Physician TEXT COLLATE NOCASE,
    Nurse TEXT COLLATE NOCASE,
    Location TEXT,
    Quality TEXT,
    Severity TEXT,
    Duration TEXT,
    Timing TEXT,
    Context TEXT,
    ModifyingFactors TEXT,
    SignsSymptoms TEXT,
    HistoryPresentIllness TEXT,
    ROSGeneral TEXT,
    ROSSkinBreast TEXT,
    ROSEENT TEXT,
    ROSCardioVascular TEXT,
    ROSRespiratory TEXT,
    ROSGastrointestinal TEXT,
    ROSGenitoUrinary TEXT,
    ROSMusculoskeletal TEXT,
    ROSNeurologic TEXT,
    ROSAllergy TEXT,
    BloodPressure TEXT,
    HeartRate TEXT,
    RespiratoryRate TEXT,
    Temperature TEXT,
    Height TEXT,
    Weight TEXT,
    PEGeneral TEXT,
    PESkinBreast TEXT,
    PEEENT TEXT,
    PERespiratory TEXT,
    PECardioVascular TEXT,
    PEGastroIntestinal TEXT,
    PEGenitoUrinary TEXT,
    PEMusculoSkeletal TEXT,
    PENeurologic TEXT,
    Diagnosis TEXT,
    BodyRegion TEXT,
    OrganSystem TEXT,
    Diagnostics TEXT,
    Therapeutics TEXT,
    OtherRecommendations TEXT,
    EmergencyResponse TEXT,
    WorkRelated TEXT
);

CREATE INDEX MedicalHistoryPatient ON MedicalHistory (PatientID);

CREATE TABLE Users (
    UserID INTEGER PRIMARY KEY,
    UserName TEXT,
    Password TEXT,
    Privilege TEXT,
    SavePassword INTEGER
);

CREATE TABLE UserLog (
    LogID INTEGER PRIMARY KEY,
    UserName TEXT,
    Privilege TEXT,
    LogDate TEXT,
    TimeIn TEXT,
    TimeOut TEXT
);

-- Wrong passwords in a row for an account, and the end of its lock (UTC,
-- ISO text); no row while an account has none.
CREATE TABLE SignInLocks (
    UserID INTEGER PRIMARY KEY,
    FailedPasswords INTEGER,
    LockedUntil TEXT
);

-- Sign-ins a desk remembers ("Save Password"): the hash of the random token
-- that the desk keeps, and a digest of the account's password when it was
-- saved, so a new password ends it.
CREATE TABLE RememberedDesks (
    DeskID INTEGER PRIMARY KEY,
    UserID INTEGER,
    Workstation TEXT,
    TokenHash TEXT,
    PasswordStamp TEXT,
    SavedOn TEXT
);

-- Who created, changed, deleted, printed, exported or opened what, and what it
-- held before. Rows are only ever added: each carries the SHA-256 seal of its
-- fields and of the row before it (Audit.cpp), so a change shows. A row that a
-- restore carried over from the trail it replaced names its id and seal there.
CREATE TABLE AuditTrail (
    AuditID INTEGER PRIMARY KEY,
    EventDate TEXT,
    UserName TEXT,
    Privilege TEXT,
    Workstation TEXT,
    Action TEXT,
    TableName TEXT,
    RecordID INTEGER,
    PatientID INTEGER,
    Changes TEXT,
    OriginalID INTEGER,
    OriginalSeal TEXT,
    Seal TEXT
);

-- No client changes or removes a trail row without first removing these.
CREATE TRIGGER AuditTrailNoUpdate BEFORE UPDATE ON AuditTrail
BEGIN
    SELECT RAISE(ABORT, 'Audit trail rows cannot be changed.');
END;

CREATE TRIGGER AuditTrailNoDelete BEFORE DELETE ON AuditTrail
BEGIN
    SELECT RAISE(ABORT, 'Audit trail rows cannot be deleted.');
END;

CREATE INDEX AuditTrailPatient ON AuditTrail (PatientID, AuditID);

CREATE INDEX AuditTrailUser ON AuditTrail (UserName, AuditID);

CREATE INDEX AuditTrailDate ON AuditTrail (EventDate);
