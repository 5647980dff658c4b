// The recordings library window over the real main window, database, tag component and sound server.
#include "AppFixture.h"

#include "TMainForm.h"
#include "Tplaylist.h"
#include "morvel_loader.h"
#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "session/Session.h"
#include "state/recordingsdb.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>

#include <pulse/simple.h>

#include <atomic>
#include <cmath>
#include <thread>

#include <utime.h>

using namespace apptest;
using namespace quimbrel;

namespace {

class Library : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (IsSkipped())
            return;
        // The trash lives in a home of the test program's own. GIO reads HOME and XDG_DATA_HOME once per
        // process, so that home stays for the whole run; each test starts with an empty trash.
        static QTemporaryDir home;
        setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
        setenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/share")).constData(), 1);
        trash = home.path() + QStringLiteral("/share/Trash");
        QDir(trash).removeRecursively();
        QFile::remove(trash);
        prepareSettings();
        // A box the window opens where none is expected is answered and fails the test, never left waiting.
        unexpectedBoxes = std::make_unique<BoxAnswerer>();
        window = startWindow();
        library = qobject_cast<Tplaylist*>(window->libraryWindow());
        ASSERT_NE(library, nullptr);
        // The library's own messages and questions are answered here.
        library->setMessagePort(messages);
    }
    void TearDown() override {
        if (window)
            window->close();
        window.reset();
        if (unexpectedBoxes)
            for (const QString& text : unexpectedBoxes->texts())
                ADD_FAILURE() << "unexpected message box: " << text.toStdString();
        unexpectedBoxes.reset();
        AppTest::TearDown();
    }

    // A recording in the output folder, listed in the database: a WAV of `seconds`, or an MP3 made from it.
    QString add(const QString& name, double seconds = 1.0) {
        const QString path = outputFolder() + name;
        if (name.endsWith(QStringLiteral(".mp3"))) {
            const QString wav = outputFolder() + QStringLiteral("source.wav");
            writeSineWav(wav, seconds);
            QProcess::execute(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, path});
            QFile::remove(wav);
        } else {
            writeSineWav(path, seconds);
        }
        EXPECT_TRUE(window->database().addRecording(path.toStdString())) << name.toStdString();
        return path;
    }
    void setModified(const QString& path, const QDateTime& when) {
        struct utimbuf times {};
        times.actime = times.modtime = static_cast<time_t>(when.toSecsSinceEpoch());
        ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
    }
    void show() {
        library->hide();
        library->show();
        QCoreApplication::processEvents();
    }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < library->list()->model()->rowCount(); ++r)
            out << library->list()->model()->index(r, c).data().toString();
        return out;
    }
    QStringList files() const { return column(Tplaylist::ColFile); }
    std::vector<RecordingRow> rows() {
        std::vector<RecordingRow> out;
        EXPECT_TRUE(window->database().listRecordings(out));
        return out;
    }
    int rowOf(const QString& file) const { return static_cast<int>(files().indexOf(file)); }
    // ffprobe's view of one tag of a file.
    static QString probe(const QString& path, const QString& key) {
        QProcess p;
        p.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format_tags=") + key, QStringLiteral("-of"),
                 QStringLiteral("default=nw=1:nk=1"), path});
        p.waitForFinished(-1);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    QString trash;
    std::unique_ptr<BoxAnswerer> unexpectedBoxes;
    std::unique_ptr<TMainForm> window;
    Tplaylist* library = nullptr;
    RecordingMessagePort messages;
};

TEST(LibraryText, DurationIsHoursMinutesSecondsWithHoursWrappingAtADay) {
    const std::pair<int, const char*> cases[] = {
        {0, "0:00:00"}, {59, "0:00:59"}, {3725, "1:02:05"}, {86399, "23:59:59"}, {86400 + 61, "0:01:01"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(Tplaylist::durationText(seconds), QString::fromLatin1(text)) << seconds;
}

TEST_F(Library, ListsOnlyFilesThatExistAndAreNotEmptyAndSortsAsTheColumnsSay) {
    const QString a = add(QStringLiteral("a.wav"), 3.0);
    const QString b = add(QStringLiteral("B.wav"), 1.0);
    const QString c = add(QStringLiteral("c.wav"), 2.0);
    const QString empty = outputFolder() + QStringLiteral("empty.wav");
    QFile(empty).open(QIODevice::WriteOnly);
    ASSERT_TRUE(window->database().addRecording(empty.toStdString()));
    ASSERT_TRUE(QFile::remove(add(QStringLiteral("gone.wav"))));
    // a and B on one day at different times, c the day before.
    const QDate day(2024, 6, 12);
    setModified(a, QDateTime(day, QTime(9, 0)));
    setModified(b, QDateTime(day, QTime(18, 30)));
    setModified(c, QDateTime(day.addDays(-1), QTime(23, 0)));

    window->folderbuttonClick();
    ASSERT_TRUE(library->isVisible());
    EXPECT_EQ(library->windowTitle(), QStringLiteral("Recording Library"));
    EXPECT_EQ(library->statusText(), QStringLiteral("Total files found: 3"));
    // The first showing sorts by File, descending; the case of ASCII letters does not count.
    EXPECT_EQ(files(), (QStringList{"c.wav", "B.wav", "a.wav"}));
    EXPECT_EQ(rows().size(), 5u) << "unlisted rows stay in the database";

    // Duration: shortest first, then longest first.
    library->list()->horizontalHeader()->sectionClicked(Tplaylist::ColDuration);
    EXPECT_EQ(column(Tplaylist::ColDuration), (QStringList{"0:00:01", "0:00:02", "0:00:03"}));
    library->list()->horizontalHeader()->sectionClicked(Tplaylist::ColDuration);
    EXPECT_EQ(column(Tplaylist::ColDuration), (QStringList{"0:00:03", "0:00:02", "0:00:01"}));

    // Last Modified compares dates only: a and B stay in the order they had, whichever it was.
    library->filesColumnClick(Tplaylist::ColFile); // ascending: a, B, c
    library->filesColumnClick(Tplaylist::ColModified);
    EXPECT_EQ(files(), (QStringList{"c.wav", "a.wav", "B.wav"}));
    library->filesColumnClick(Tplaylist::ColFile); // descending: c, B, a
    library->filesColumnClick(Tplaylist::ColModified);
    EXPECT_EQ(files(), (QStringList{"B.wav", "a.wav", "c.wav"}));

    // Showing again re-applies the last sort in the same direction: the day before comes last.
    show();
    EXPECT_EQ(files().last(), QStringLiteral("c.wav"));

    // Commands need a selected row, except Refresh folder.
    EXPECT_FALSE(library->action(QStringLiteral("RenameAction"))->isEnabled());
    EXPECT_TRUE(library->action(QStringLiteral("RefreshAction"))->isEnabled());
    library->selectRow(0);
    for (const char* name : {"RenameAction", "SaveAsAction", "DeleteAction", "PlayAction", "StopAction"})
        EXPECT_TRUE(library->action(QString::fromLatin1(name))->isEnabled()) << name;

    // A dragged row offers its file to other programs.
    std::unique_ptr<QMimeData> drag(
        library->list()->model()->mimeData({library->list()->model()->index(0, 0)}));
    ASSERT_TRUE(drag);
    EXPECT_TRUE(drag->hasFormat(QStringLiteral("text/uri-list")));
    ASSERT_EQ(drag->urls().size(), 1);
    EXPECT_EQ(drag->urls().first().toLocalFile(), outputFolder() + files().first());
}

TEST_F(Library, RenameMovesTheFileFirstAndRefusesWhatCannotBe) {
    const QString take = add(QStringLiteral("take1.mp3"));
    add(QStringLiteral("other.mp3"));
    window->folderbuttonClick();
    const auto renamed = [&](const QString& from, const QString& typed) {
        const int row = rowOf(from);
        EXPECT_GE(row, 0) << from.toStdString();
        // What the in-place editor hands over when the edit is confirmed.
        QAbstractItemModel* model = library->list()->model();
        return model->setData(model->index(row, Tplaylist::ColFile), typed, Qt::EditRole);
    };
    const auto listed = [&](const QString& name) {
        for (const RecordingRow& r : rows())
            if (QString::fromStdString(r.musicName) == name)
                return true;
        return false;
    };

    // The extension stays when none is typed; a typed one is taken.
    ASSERT_TRUE(renamed(QStringLiteral("take1.mp3"), QStringLiteral("final")));
    EXPECT_FALSE(QFileInfo::exists(take));
    EXPECT_TRUE(QFileInfo::exists(outputFolder() + QStringLiteral("final.mp3")));
    EXPECT_TRUE(listed(QStringLiteral("final.mp3")));
    EXPECT_FALSE(listed(QStringLiteral("take1.mp3")));
    ASSERT_TRUE(renamed(QStringLiteral("final.mp3"), QStringLiteral("final.wav")));
    EXPECT_TRUE(QFileInfo::exists(outputFolder() + QStringLiteral("final.wav")));
    EXPECT_TRUE(listed(QStringLiteral("final.wav")));

    // Refused or failed: the file, the row and the entry keep the old name, and the user hears why.
    const QString tooLong = QString(300, QLatin1Char('x'));
    for (const QString& bad : {QStringLiteral("sub/name"), QStringLiteral("other.mp3"), tooLong}) {
        SCOPED_TRACE(bad.left(20).toStdString());
        EXPECT_FALSE(renamed(QStringLiteral("final.wav"), bad));
        EXPECT_TRUE(QFileInfo::exists(outputFolder() + QStringLiteral("final.wav")));
        EXPECT_TRUE(listed(QStringLiteral("final.wav")));
        EXPECT_GE(rowOf(QStringLiteral("final.wav")), 0);
    }
    EXPECT_TRUE(QFileInfo::exists(outputFolder() + QStringLiteral("other.mp3")));
    EXPECT_EQ(rows().size(), 2u);
    EXPECT_EQ(messages.count(), 3u);
}

TEST_F(Library, SavedTagIsWhatFfprobeReadsAndANonNumberClearsTheTrack) {
    const QString path = add(QStringLiteral("song.mp3"));
    window->folderbuttonClick();
    library->selectRow(0);
    const auto fill = [&](const QString& track) {
        library->field(0)->setText(QStringLiteral("Morning Étude"));
        library->field(1)->setText(QStringLiteral("The Testers"));
        library->field(2)->setText(QStringLiteral("Sessions"));
        library->field(3)->setText(track);
        library->field(4)->setText(QStringLiteral("2024"));
        library->field(5)->setText(QStringLiteral("Ambient"));
        library->field(6)->setText(QStringLiteral("take two"));
    };
    fill(QStringLiteral("7"));
    library->SaveTagActionExecute();
    EXPECT_EQ(probe(path, QStringLiteral("title")), QStringLiteral("Morning Étude"));
    EXPECT_EQ(probe(path, QStringLiteral("artist")), QStringLiteral("The Testers"));
    EXPECT_EQ(probe(path, QStringLiteral("album")), QStringLiteral("Sessions"));
    EXPECT_EQ(probe(path, QStringLiteral("track")), QStringLiteral("7"));
    EXPECT_EQ(library->list()->model()->index(0, Tplaylist::ColTitle).data().toString(),
              QStringLiteral("Morning Étude"));

    for (const QString& track : {QStringLiteral("abc"), QStringLiteral("0"), QStringLiteral("-3")}) {
        fill(QStringLiteral("7"));
        library->SaveTagActionExecute();
        fill(track);
        library->SaveTagActionExecute();
        EXPECT_EQ(probe(path, QStringLiteral("track")), QString()) << track.toStdString();
        EXPECT_EQ(library->field(3)->text(), QStringLiteral("0")) << track.toStdString();
        EXPECT_EQ(probe(path, QStringLiteral("title")), QStringLiteral("Morning Étude"));
    }

    // Copy, clear, paste: the window's own store; Remove Tag empties file, fields and entry.
    library->CopyButtonClick();
    library->ClearButtonClick();
    EXPECT_TRUE(library->field(0)->text().isEmpty());
    library->PasteButtonClick();
    EXPECT_EQ(library->field(1)->text(), QStringLiteral("The Testers"));
    library->RemoveTagActionExecute();
    EXPECT_EQ(probe(path, QStringLiteral("title")), QString());
    EXPECT_TRUE(library->field(0)->text().isEmpty());
    EXPECT_TRUE(library->list()->model()->index(0, Tplaylist::ColTitle).data().toString().isEmpty());
}

TEST_F(Library, DeleteSendsToTheTrashAndMovesTheSelection) {
    add(QStringLiteral("one.wav"));
    add(QStringLiteral("two.wav"));
    const QString last = add(QStringLiteral("three.wav"));
    window->folderbuttonClick();
    library->filesColumnClick(Tplaylist::ColFile); // ascending: one, three, two
    const QString trashed = trash + QStringLiteral("/files/");

    // The last row: the new last row is selected.
    library->selectRow(2);
    library->DeleteActionExecute();
    EXPECT_EQ(files(), (QStringList{"one.wav", "three.wav"}));
    EXPECT_EQ(library->selectedRow(), 1);
    EXPECT_TRUE(QFileInfo::exists(trashed + QStringLiteral("two.wav")));
    EXPECT_EQ(rows().size(), 2u);
    EXPECT_EQ(library->statusText(), QStringLiteral("Total files found: 2"));

    // A middle row: the same index stays selected.
    library->selectRow(0);
    library->DeleteActionExecute();
    EXPECT_EQ(files(), (QStringList{"three.wav"}));
    EXPECT_EQ(library->selectedRow(), 0);

    // The only row: nothing left, nothing selected, every command but Refresh off.
    library->DeleteActionExecute();
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(library->selectedRow(), -1);
    EXPECT_FALSE(library->action(QStringLiteral("DeleteAction"))->isEnabled());
    EXPECT_TRUE(rows().empty());
    EXPECT_FALSE(QFileInfo::exists(last));
    EXPECT_TRUE(QFileInfo::exists(trashed + QStringLiteral("three.wav")));
    EXPECT_TRUE(QFileInfo::exists(trashed + QStringLiteral("one.wav")));
}

TEST_F(Library, WithoutATrashDeletingForGoodIsAskedFirst) {
    const QString path = add(QStringLiteral("only.wav"));
    // A trash folder that cannot be made: a plain file stands where it would go.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(trash).path()));
    QFile blocker(trash);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    window->folderbuttonClick();
    library->selectRow(0);

    messages.queueAnswer(MessageResult::No);
    library->DeleteActionExecute();
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].buttons, MessageButtons::YesNo);
    EXPECT_NE(messages.entries()[0].text.find("Delete it for good?"), std::string::npos);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(files(), QStringList{"only.wav"});
    EXPECT_EQ(rows().size(), 1u);

    messages.queueAnswer(MessageResult::Yes);
    library->DeleteActionExecute();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(files().isEmpty());
    EXPECT_TRUE(rows().empty());
}

TEST_F(Library, ExportCopiesIntoTheChosenFolderReplacingASameNamedFile) {
    const QString path = add(QStringLiteral("keep.wav"), 1.0);
    window->folderbuttonClick();
    library->selectRow(0);
    const QString target = m_root->path() + QStringLiteral("/export");
    QDir().mkpath(target);
    QFile stale(target + QStringLiteral("/keep.wav"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();
    QString offered;
    library->setFolderPicker([&](const QString& start) {
        offered = start;
        return target;
    });
    library->SaveAsActionExecute();
    EXPECT_EQ(QDir(offered).absolutePath(), QDir(outputFolder()).absolutePath());
    EXPECT_EQ(QFileInfo(target + QStringLiteral("/keep.wav")).size(), QFileInfo(path).size());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(Library, AFinishedRecordingAppearsWhileTheWindowIsOpen) {
    add(QStringLiteral("first.wav"));
    window->folderbuttonClick();
    EXPECT_EQ(library->statusText(), QStringLiteral("Total files found: 1"));
    window->recorder().StartClick();
    ASSERT_TRUE(window->recorder().state().writing);
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 0; }));
    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return !window->recorder().state().writing; }));
    EXPECT_EQ(library->statusText(), QStringLiteral("Total files found: 2"));
}

// Records the peak level of the default sink's monitor while it runs.
class MonitorPeak {
public:
    MonitorPeak() {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, 2};
        int error = 0;
        m_simple = pa_simple_new(nullptr, "library-test", PA_STREAM_RECORD, "quimbrel_speakers.monitor",
                                 "monitor", &spec, nullptr, nullptr, &error);
        if (m_simple)
            m_thread = std::thread([this] {
                std::vector<float> chunk(960);
                while (!m_stop) {
                    int err = 0;
                    if (pa_simple_read(m_simple, chunk.data(), chunk.size() * sizeof(float), &err) < 0)
                        break;
                    float peak = 0.0f;
                    for (float v : chunk)
                        peak = std::max(peak, std::fabs(v));
                    if (peak > m_peak)
                        m_peak = peak;
                }
            });
    }
    ~MonitorPeak() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_simple)
            pa_simple_free(m_simple);
    }
    bool ok() const { return m_simple != nullptr; }
    float peak() const { return m_peak; }

private:
    pa_simple* m_simple = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<float> m_peak{0.0f};
    std::thread m_thread;
};

TEST_F(Library, PlaySoundsOnTheSinkAndStopEndsIt) {
    const QString path = add(QStringLiteral("tone.wav"), 5.0);
    window->folderbuttonClick();
    library->selectRow(0);
    MonitorPeak monitor;
    ASSERT_TRUE(monitor.ok());
    library->PlayActionExecute();
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Playback);
    EXPECT_TRUE(window->player().isActive());
    ASSERT_TRUE(waitUntil([&] { return monitor.peak() > 0.1f; }));
    // Renaming the file being played is refused.
    EXPECT_FALSE(library->list()->model()->flags(library->list()->model()->index(0, 0)) & Qt::ItemIsEditable);
    library->StopActionExecute();
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Record);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_TRUE(library->list()->model()->flags(library->list()->model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(QFileInfo::exists(path));

    // The session's player: closing the program stops what it plays.
    library->PlayActionExecute();
    ASSERT_TRUE(window->session().player().isActive());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->session().player().isOpen());
}

TEST_F(Library, InPausedPlaybackTheSelectionBecomesTheCurrentFile) {
    add(QStringLiteral("a.wav"), 5.0);
    add(QStringLiteral("b.wav"), 5.0);
    window->folderbuttonClick();
    library->filesColumnClick(Tplaylist::ColFile); // ascending: a, b
    library->selectRow(0);
    // The main window's Play plays the library's selection while the library is open.
    window->PlayButtonClick();
    ASSERT_TRUE(window->player().isActive());
    EXPECT_TRUE(window->fileText().endsWith(QStringLiteral("a.wav")));
    window->recorder().pausebuttonClick();
    ASSERT_FALSE(window->player().isActive());
    library->selectRow(1);
    library->hide();
    window->recorder().StopClick();
    window->PlayButtonClick();
    EXPECT_TRUE(window->fileText().endsWith(QStringLiteral("b.wav")));
    window->recorder().StopClick();
}

TEST_F(Library, ScreenshotOfTaggedRecordings) {
    struct Song {
        const char* file;
        const char* title;
        const char* artist;
        double seconds;
    };
    const Song songs[] = {{"2024-06-12 morning.mp3", "Harbour Lights", "Nightjar Quartet", 4.0},
                          {"2024-06-12 evening.mp3", "Slow River", "Ada Brenner", 2.0},
                          {"interview.wav", "", "", 3.0}};
    MorvelLibrary tags;
    ASSERT_TRUE(tags.load()) << tags.error();
    QImage cover(64, 64, QImage::Format_RGB32);
    cover.fill(QColor(40, 90, 160));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "PNG");
    for (const Song& song : songs) {
        const QString path = add(QString::fromUtf8(song.file), song.seconds);
        if (!*song.title)
            continue;
        morvel_file* f = tags.taglib_file_newu(path.toUtf8().constData());
        ASSERT_TRUE(f);
        morvel_tag* t = tags.taglib_file_tag(f);
        tags.taglib_tag_set_title(t, song.title);
        tags.taglib_tag_set_artist(t, song.artist);
        tags.taglib_tag_set_album(t, "Harbour Sessions");
        tags.taglib_tag_set_year(t, 2024);
        if (song.seconds > 3.0) {
            EXPECT_TRUE(tags.taglib_tag_set_cover(f, MORVEL_PICTURE_FRONT_COVER,
                                                  static_cast<unsigned>(png.size()), "image/png", "cover",
                                                  png.constData()));
        }
        EXPECT_TRUE(tags.taglib_file_save_ex(f, 3));
        tags.taglib_file_free(f);
    }
    const QDateTime made[] = {QDateTime(QDate(2024, 6, 12), QTime(9, 0)),
                              QDateTime(QDate(2024, 6, 12), QTime(19, 0)),
                              QDateTime(QDate(2024, 6, 13), QTime(11, 0))};
    for (std::size_t i = 0; i < std::size(songs); ++i)
        setModified(outputFolder() + QString::fromUtf8(songs[i].file), made[i]);
    window->folderbuttonClick();
    library->selectRow(rowOf(QString::fromUtf8(songs[0].file)));
    QCoreApplication::processEvents();
    EXPECT_EQ(library->statusText(), QStringLiteral("Total files found: 3"));
    EXPECT_EQ(library->field(0)->text(), QStringLiteral("Harbour Lights"));
    EXPECT_FALSE(library->list()->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    screenshot(library, QStringLiteral("library"));
}

} // namespace
