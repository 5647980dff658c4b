// The recordings database on a real SQLite file: the table, add/rename/list/remove with awkward paths, the
// stored values, recovery after a failed statement, and a writer killed in the middle of its transactions.
#include "StateFixture.h"

#include "ports/MessagePort.h"
#include "state/daynumber.h"
#include "state/recordingsdb.h"

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace quimbrel {
namespace {

class Db : public test::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        ASSERT_TRUE(db.open(file()));
        ASSERT_TRUE(db.ensureTable());
    }
    std::string file() const { return root() + "quimbrel.db"; }
    std::vector<RecordingRow> rows() {
        std::vector<RecordingRow> r;
        EXPECT_TRUE(db.listRecordings(r)) << db.lastError();
        return r;
    }
    // A second connection, to look at what is stored without the class under test.
    std::string query(const std::string& sql) {
        sqlite3* raw = nullptr;
        sqlite3_open(file().c_str(), &raw);
        std::string out;
        sqlite3_exec(
            raw, sql.c_str(),
            [](void* o, int n, char** values, char**) {
                auto* s = static_cast<std::string*>(o);
                for (int i = 0; i < n; ++i)
                    *s += (values[i] ? values[i] : "NULL") + std::string(i + 1 < n ? "|" : "\n");
                return 0;
            },
            &out, nullptr);
        sqlite3_close(raw);
        return out;
    }
    RecordingMessagePort port;
    RecordingsDb db{port};
};

TEST_F(Db, CreatesTheTableOnceWithItsStatement) {
    EXPECT_TRUE(db.ensureTable());
    std::string expected = RecordingsDb::kCreateStatement;
    expected.pop_back(); // SQLite keeps the statement without its closing semicolon
    EXPECT_EQ(query("select sql from sqlite_master where type='table' and name='MusicInfo'"),
              expected + "\n");
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Db, AwkwardPathsRoundTripThroughAddRenameListRemove) {
    const std::string folder = root() + "My \"best\" Mus\xc3\xafk/";
    const std::string path = folder + "it's \"live\" \xe2\x99\xaa.mp3";
    ASSERT_TRUE(db.addRecording(path, makeDayNumber(2024, 6, 12, 18, 0)));
    auto r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].musicPath, folder);
    EXPECT_EQ(r[0].musicName, "it's \"live\" \xe2\x99\xaa.mp3");
    EXPECT_DOUBLE_EQ(r[0].dateAdded, 45455.75);
    EXPECT_EQ(query("select typeof(DateAdded), typeof(CoverID), typeof(fTitle) from MusicInfo"),
              "real|null|null\n");

    const std::string renamed = root() + "other 'place'/new \"name\".ogg";
    ASSERT_TRUE(db.renameRecording(renamed, r[0].musicId));
    r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].musicPath + r[0].musicName, renamed);

    ASSERT_TRUE(db.removeRecording(path)); // the old name is no longer listed
    EXPECT_EQ(rows().size(), 1u);
    ASSERT_TRUE(db.removeRecording(renamed));
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Db, RenamingAMissingIdFails) {
    ASSERT_TRUE(db.addRecording(root() + "a.mp3", 45000.0));
    EXPECT_FALSE(db.renameRecording(root() + "b.mp3", 999999));
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].musicName, "a.mp3");
    EXPECT_TRUE(db.addRecording(root() + "c.mp3", 45000.0)) << "the failed rename left no transaction open";
}

TEST_F(Db, TwoProcessesAddingAtTheSameMomentAreBothListed) {
    db.close();
    constexpr int kEach = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            RecordingMessagePort quiet;
            RecordingsDb mine(quiet);
            bool ok = mine.open(file());
            for (int i = 0; ok && i < kEach; ++i)
                ok = mine.addRecording(root() + "p" + std::to_string(c) + "-" + std::to_string(i) + ".mp3",
                                       45000.0);
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer met a locked database";
    }
    ASSERT_TRUE(db.open(file()));
    EXPECT_EQ(rows().size(), 2u * kEach);
}

TEST_F(Db, AddingAgainMovesTheDateToTheFilesModificationTime) {
    const std::string path = root() + "take.wav";
    test::writeFile(path, "RIFF");
    utimbuf times{};
    times.actime = times.modtime = 1700000000;
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
    ASSERT_TRUE(db.addRecording(path));
    times.actime = times.modtime = 1700003600;
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
    ASSERT_TRUE(db.addRecording(path));
    const auto r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_NEAR(r[0].dateAdded, dayNumberFromTime(1700003600), 1e-9);

    EXPECT_FALSE(db.addRecording(root() + "vanished.wav"));
    EXPECT_EQ(port.count(), 1u);
}

TEST_F(Db, IdentityIsTheExactFolderAndName) {
    ASSERT_TRUE(db.addRecording("/a/x.mp3", 3.0));
    ASSERT_TRUE(db.addRecording("/b/x.mp3", 1.0));
    ASSERT_TRUE(db.addRecording("/A/x.mp3", 2.0));
    ASSERT_TRUE(db.addRecording("/a/X.mp3", 4.0));
    ASSERT_TRUE(db.removeRecording("/c/x.mp3")); // not listed: nothing changes
    const auto r = rows();
    ASSERT_EQ(r.size(), 4u);
    // oldest first
    EXPECT_EQ(r[0].musicPath, "/b/");
    EXPECT_EQ(r[1].musicPath, "/A/");
    EXPECT_EQ(r[2].musicPath, "/a/");
    EXPECT_EQ(r[2].musicName, "x.mp3");
    EXPECT_EQ(r[3].musicName, "X.mp3");
}

TEST_F(Db, TheDateIsStoredWithFifteenSignificantDigits) {
    const double precise = 45455.123456789012345;
    ASSERT_TRUE(db.addRecording("/a/b.mp3", precise));
    EXPECT_DOUBLE_EQ(rows()[0].dateAdded, 45455.1234567890);
}

TEST_F(Db, AFailedStatementRollsBackSoTheNextOperationWorks) {
    ASSERT_TRUE(db.addRecording("/a/keep.mp3", 1.0));
    query("CREATE TRIGGER refuse BEFORE INSERT ON MusicInfo BEGIN SELECT RAISE(ABORT, 'disk says no'); END;");
    EXPECT_FALSE(db.addRecording("/a/new.mp3", 2.0));
    ASSERT_EQ(port.count(), 1u);
    EXPECT_NE(port.entries()[0].text.find("disk says no"), std::string::npos);
    EXPECT_NE(port.entries()[0].text.find("INSERT or IGNORE INTO MusicInfo"), std::string::npos);
    EXPECT_NE(db.lastError().find("disk says no"), std::string::npos);

    // Another connection can write, so no transaction was left open here.
    query("DROP TRIGGER refuse");
    EXPECT_EQ(query("select count(*) from MusicInfo"), "1\n");
    ASSERT_TRUE(db.addRecording("/a/new.mp3", 2.0)) << db.lastError();
    ASSERT_TRUE(db.removeRecording("/a/keep.mp3"));
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(db.lastError(), "");
}

TEST_F(Db, OpenFailureNamesTheFile) {
    RecordingsDb other(port);
    const std::string bad = root() + "missing/folder/quimbrel.db";
    EXPECT_FALSE(other.open(bad));
    ASSERT_EQ(port.count(), 1u);
    EXPECT_EQ(port.entries()[0].text.rfind("Failed to open database \"" + bad + "\" : ", 0), 0u)
        << port.entries()[0].text;
    std::vector<RecordingRow> r;
    EXPECT_FALSE(other.listRecordings(r));
}

TEST_F(Db, AFileThatIsNoDatabaseIsReported) {
    test::writeFile(root() + "junk.db", std::string(4096, 'x'));
    RecordingsDb other(port);
    ASSERT_TRUE(other.open(root() + "junk.db")); // SQLite reads lazily
    EXPECT_FALSE(other.ensureTable());
    EXPECT_EQ(port.count(), 1u);
}

TEST_F(Db, AKillDuringAWriteLeavesADatabaseThatListsWhatWasCommitted) {
    // A writer process adds recordings as fast as it can and reports each one once addRecording returned; it
    // is killed in the middle of its stream of transactions, several times over the same file.
    db.close();
    std::set<std::string> committed;
    std::size_t kills = 0;
    for (int round = 0; round < 4; ++round) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ends[0]);
            RecordingMessagePort quiet;
            RecordingsDb mine(quiet);
            if (!mine.open(file()))
                _exit(1);
            for (int i = 0;; ++i) {
                const std::string name = "r" + std::to_string(round) + "-" + std::to_string(i) + ".mp3\n";
                if (!mine.addRecording(root() + name.substr(0, name.size() - 1), 45000.0 + i))
                    _exit(1);
                if (::write(ends[1], name.data(), name.size()) != static_cast<ssize_t>(name.size()))
                    _exit(1);
            }
        }
        ::close(ends[1]);
        FILE* notices = ::fdopen(ends[0], "r");
        ASSERT_NE(notices, nullptr);
        char line[256];
        const auto take = [&] {
            std::string name = line;
            name.pop_back();
            committed.insert(name);
        };
        for (int seen = 0; seen < 15 + 10 * round && std::fgets(line, sizeof line, notices); ++seen)
            take();
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer failed by itself";
        ++kills;
        // Notices still in the pipe name recordings that were committed as well.
        while (std::fgets(line, sizeof line, notices))
            take();
        std::fclose(notices);
    }
    ASSERT_TRUE(db.open(file()));
    EXPECT_EQ(query("PRAGMA integrity_check"), "ok\n");
    std::set<std::string> listed;
    for (const RecordingRow& r : rows())
        listed.insert(r.musicName);
    for (const std::string& name : committed)
        EXPECT_TRUE(listed.count(name)) << name << " was committed but is not listed";
    // Beyond those, only a transaction that committed just before its kill, before it was reported.
    EXPECT_LE(listed.size(), committed.size() + kills);
    EXPECT_TRUE(db.addRecording(root() + "after.mp3", 46000.0)) << db.lastError();
    EXPECT_EQ(port.count(), 0u);
}

} // namespace
} // namespace quimbrel
