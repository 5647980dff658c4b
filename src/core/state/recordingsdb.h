// The recordings database quimbrel.db: which finished recordings belong to the library, and when each was
// added. Used on the main thread only.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace quimbrel {

class MessagePort;

struct RecordingRow {
    long long musicId = 0;
    std::string musicPath;  // folder, with its closing '/'
    std::string musicName;  // file name with extension
    double dateAdded = 0.0; // day number (local time)
};

// One connection to the database. Every operation runs in its own transaction with bound parameters; a
// failing statement rolls its transaction back, is reported through the port (SQLite's message and the
// statement) and makes the operation return false, after which the connection is usable again.
class RecordingsDb {
public:
    explicit RecordingsDb(MessagePort& port);
    ~RecordingsDb();
    RecordingsDb(const RecordingsDb&) = delete;
    RecordingsDb& operator=(const RecordingsDb&) = delete;

    // Opens (creating) the file. Failure is reported as: Failed to open database "<file>" : <SQLite's
    // message>
    bool open(const std::string& file);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // Creates the MusicInfo table when it is missing.
    bool ensureTable();

    // Adds the recording, or moves its DateAdded when (folder, name) is already listed. The date is the
    // file's modification time; the second form takes it from the caller.
    bool addRecording(const std::string& path);
    bool addRecording(const std::string& path, double dateAdded);
    // Removes the recording when it is listed; not listed is not an error.
    bool removeRecording(const std::string& path);
    // Points row musicId at newPath.
    bool renameRecording(const std::string& newPath, long long musicId);
    // Every row, oldest DateAdded first.
    bool listRecordings(std::vector<RecordingRow>& rows);

    // The text of the last failure ("" after a success).
    const std::string& lastError() const { return m_lastError; }

    // The table's creation statement, exactly as stored in sqlite_master.
    static const char* const kCreateStatement;

private:
    bool exec(const char* sql);
    bool beginTransaction();
    bool commit();
    void rollback();
    bool fail(const std::string& message, const char* sql);
    bool isListed(const std::string& folder, const std::string& name, bool& listed);

    MessagePort& m_port;
    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
    std::string m_lastError;
};

// Splits a full path at its last '/' into folder (with the '/') and file name.
void splitRecordingPath(const std::string& path, std::string& folder, std::string& name);

} // namespace quimbrel
