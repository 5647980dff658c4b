// The recordings database on SQLite: one table of finished recordings, every change in its own transaction.
#include "state/recordingsdb.h"

#include "ports/MessagePort.h"
#include "state/daynumber.h"

#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <sys/stat.h>

namespace quimbrel {

namespace {

const char* const kCaption = "quimbrel";

const char* const kSelectOne = "SELECT * FROM MusicInfo WHERE MusicPath=? AND MusicName=?";

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    bool bind(int i, const std::string& text) {
        return sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) ==
               SQLITE_OK;
    }
    bool bind(int i, double v) { return sqlite3_bind_double(m_stmt, i, v) == SQLITE_OK; }
    bool bind(int i, long long v) { return sqlite3_bind_int64(m_stmt, i, v) == SQLITE_OK; }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(m_stmt); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// The date is kept as the 15 significant digits the database has always held.
double storedDate(double dayNumber) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14E", dayNumber);
    return std::strtod(buf, nullptr);
}

std::string columnText(sqlite3_stmt* stmt, int col) {
    if (col < 0)
        return {};
    const unsigned char* text = sqlite3_column_text(stmt, col);
    if (!text)
        return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, col)));
}

} // namespace

const char* const RecordingsDb::kCreateStatement =
    "CREATE TABLE MusicInfo ([MusicID] INTEGER PRIMARY KEY AUTOINCREMENT,[CoverID] INTEGER NULL,"
    "[Duration] INTEGER,[DateAdded] FLOAT,[LastPlay] FLOAT NULL, [MusicPath] VARCHAR(512),"
    "[MusicName] VARCHAR(128), [fTitle] VARCHAR(128), [fArtist] VARCHAR(128), [fAlbum] VARCHAR(128),"
    "[fGenre] VARCHAR(128), [fYear] VARCHAR(32) );";

void splitRecordingPath(const std::string& path, std::string& folder, std::string& name) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

RecordingsDb::RecordingsDb(MessagePort& port) : m_port(port) {}

RecordingsDb::~RecordingsDb() {
    close();
}

bool RecordingsDb::open(const std::string& file) {
    close();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError =
            "Failed to open database \"" + file + "\" : " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        m_port.show(m_lastError, kCaption, MessageIcon::Error, MessageButtons::Ok);
        return false;
    }
    m_db = db;
    // The window and quimbrel-cli may write at the same moment: wait for the other's transaction instead of
    // failing with "database is locked", and let readers go on beside a writer. A file system without shared
    // memory keeps the rollback journal.
    sqlite3_busy_timeout(m_db, 10000);
    sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    m_lastError.clear();
    return true;
}

void RecordingsDb::close() {
    if (!m_db)
        return;
    if (m_inTransaction)
        rollback();
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool RecordingsDb::fail(const std::string& message, const char* sql) {
    m_lastError = message + "\n" + sql;
    if (m_inTransaction)
        rollback();
    m_port.show(m_lastError, kCaption, MessageIcon::Error, MessageButtons::Ok);
    return false;
}

bool RecordingsDb::exec(const char* sql) {
    if (!m_db)
        return fail("The database is not open", sql);
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(m_db);
        sqlite3_free(message);
        return fail(text, sql);
    }
    return true;
}

bool RecordingsDb::beginTransaction() {
    if (m_inTransaction)
        return fail("Transaction already open", "BEGIN TRANSACTION");
    // Immediate: the write lock is taken (waiting as long as the busy timeout allows) before the first read,
    // so two writers never deadlock on upgrading a read to a write.
    if (!exec("BEGIN IMMEDIATE TRANSACTION"))
        return false;
    m_inTransaction = true;
    return true;
}

bool RecordingsDb::commit() {
    if (!exec("COMMIT"))
        return false;
    m_inTransaction = false;
    return true;
}

void RecordingsDb::rollback() {
    m_inTransaction = false;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool RecordingsDb::ensureTable() {
    const char* const sql = "select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?";
    if (!m_db)
        return fail("The database is not open", sql);
    bool exists = false;
    {
        Statement q(m_db, sql);
        if (!q.ok() || !q.bind(1, std::string("musicinfo")))
            return fail(sqlite3_errmsg(m_db), sql);
        const int rc = q.step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return fail(sqlite3_errmsg(m_db), sql);
        exists = rc == SQLITE_ROW;
    }
    m_lastError.clear();
    return exists || exec(kCreateStatement);
}

bool RecordingsDb::addRecording(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        m_lastError = "Cannot read the modification time of \"" + path + "\"";
        m_port.show(m_lastError, kCaption, MessageIcon::Error, MessageButtons::Ok);
        return false;
    }
    const double date =
        dayNumberFromTime(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec / 1000000) / 86400000.0;
    return addRecording(path, date);
}

// Inside a transaction: whether the recording is in the table. A failing query is reported and rolled back.
bool RecordingsDb::isListed(const std::string& folder, const std::string& name, bool& listed) {
    Statement q(m_db, kSelectOne);
    if (!q.ok() || !q.bind(1, folder) || !q.bind(2, name))
        return fail(sqlite3_errmsg(m_db), kSelectOne);
    const int rc = q.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return fail(sqlite3_errmsg(m_db), kSelectOne);
    listed = rc == SQLITE_ROW;
    return true;
}

bool RecordingsDb::addRecording(const std::string& path, double dateAdded) {
    std::string folder, name;
    splitRecordingPath(path, folder, name);
    const double date = storedDate(dateAdded);
    if (!beginTransaction())
        return false;
    bool listed = false;
    if (!isListed(folder, name, listed))
        return false;
    const char* const sql =
        listed ? "UPDATE MusicInfo SET DateAdded=? WHERE MusicPath=? AND MusicName=?"
               : "INSERT or IGNORE INTO MusicInfo(DateAdded, MusicPath, MusicName) VALUES (?,?,?);";
    {
        Statement s(m_db, sql);
        if (!s.ok() || !s.bind(1, date) || !s.bind(2, folder) || !s.bind(3, name) || s.step() != SQLITE_DONE)
            return fail(sqlite3_errmsg(m_db), sql);
    }
    if (!commit())
        return false;
    m_lastError.clear();
    return true;
}

bool RecordingsDb::removeRecording(const std::string& path) {
    std::string folder, name;
    splitRecordingPath(path, folder, name);
    if (!beginTransaction())
        return false;
    bool listed = false;
    if (!isListed(folder, name, listed))
        return false;
    if (listed) {
        const char* const sql = "DELETE FROM MusicInfo WHERE MusicPath=? AND MusicName=?";
        Statement s(m_db, sql);
        if (!s.ok() || !s.bind(1, folder) || !s.bind(2, name) || s.step() != SQLITE_DONE)
            return fail(sqlite3_errmsg(m_db), sql);
    }
    if (!commit())
        return false;
    m_lastError.clear();
    return true;
}

bool RecordingsDb::renameRecording(const std::string& newPath, long long musicId) {
    std::string folder, name;
    splitRecordingPath(newPath, folder, name);
    if (!beginTransaction())
        return false;
    {
        const char* const sql = "UPDATE MusicInfo SET MusicPath=?, MusicName=? WHERE MusicID=?";
        Statement s(m_db, sql);
        if (!s.ok() || !s.bind(1, folder) || !s.bind(2, name) || !s.bind(3, musicId) ||
            s.step() != SQLITE_DONE)
            return fail(sqlite3_errmsg(m_db), sql);
        if (sqlite3_changes(m_db) == 0)
            return fail("No recording with the id " + std::to_string(musicId), sql);
    }
    if (!commit())
        return false;
    m_lastError.clear();
    return true;
}

bool RecordingsDb::listRecordings(std::vector<RecordingRow>& rows) {
    const char* const sql = "SELECT * FROM MusicInfo ORDER by DateAdded";
    rows.clear();
    if (!m_db)
        return fail("The database is not open", sql);
    Statement q(m_db, sql);
    if (!q.ok())
        return fail(sqlite3_errmsg(m_db), sql);
    // Columns are read by name, as the table may have been created by another version.
    int idCol = -1, pathCol = -1, nameCol = -1, dateCol = -1;
    for (int c = 0; c < sqlite3_column_count(q.get()); ++c) {
        const std::string col = sqlite3_column_name(q.get(), c);
        if (col == "MusicID")
            idCol = c;
        else if (col == "MusicPath")
            pathCol = c;
        else if (col == "MusicName")
            nameCol = c;
        else if (col == "DateAdded")
            dateCol = c;
    }
    int rc = SQLITE_OK;
    while ((rc = q.step()) == SQLITE_ROW) {
        RecordingRow row;
        row.musicId = idCol >= 0 ? sqlite3_column_int64(q.get(), idCol) : 0;
        row.musicPath = columnText(q.get(), pathCol);
        row.musicName = columnText(q.get(), nameCol);
        row.dateAdded = dateCol >= 0 ? sqlite3_column_double(q.get(), dateCol) : 0.0;
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        rows.clear();
        return fail(sqlite3_errmsg(m_db), sql);
    }
    m_lastError.clear();
    return true;
}

} // namespace quimbrel
