// The recordings library window: the recordings of the database whose files exist, their tags, and the file
// operations on them (rename, export, delete, play, stop, dragging out). Created once by the main window,
// hidden and shown as needed. UI thread.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTableView;

namespace quimbrel {

class MessagePort;
class MorvelLibrary;
class RecordingsDb;

// What the library asks of the main window.
class LibraryHost {
public:
    virtual ~LibraryHost() = default;
    // The main window's Play button is enabled.
    virtual bool libraryCanPlay() const = 0;
    // Makes path the current file and plays it.
    virtual void libraryPlay(const QString& path) = 0;
    // The main window's Stop command, when it is playing back (a recording is left alone).
    virtual void libraryStopPlayback() = 0;
    // The player has this file open (playing or paused).
    virtual bool libraryPlayerHolds(const QString& path) const = 0;
    // In playback mode with nothing playing: the file the library selects becomes the current file.
    virtual bool libraryTakesCurrentFile() const = 0;
    virtual void librarySetCurrentFile(const QString& path) = 0;
    // Where Export's folder picker starts.
    virtual QString libraryOutputFolder() const = 0;
};

// One list entry.
struct TMCRS {
    QString path;
    QString title;
    QString artist;
    int duration = 0; // whole seconds
    QDateTime modified;
    long long musicId = 0;
};

// The seven tag fields in the order Title, Artist, Album, Track, Year, Genre, Comment.
struct audiotag {
    QString title, artist, album, track, year, genre, comment;
    int length = 0;
};

class LibraryModel;

class Tplaylist final : public QMainWindow {
    Q_OBJECT
public:
    enum Column { ColFile, ColTitle, ColArtist, ColDuration, ColModified, ColumnCount };

    Tplaylist(RecordingsDb& database, LibraryHost& host, MessagePort& messages, QWidget* parent = nullptr);
    ~Tplaylist() override;

    // "h:nn:ss", hours wrapping at 24.
    static QString durationText(int seconds);
    // Reads title, artist, album, track, year, genre, comment and length through the tag component.
    audiotag GetTag(const QString& path) const;

    // Commands.
    void RefreshActionExecute();
    void RenameActionExecute();
    void SaveAsActionExecute();
    void DeleteActionExecute();
    void PlayActionExecute();
    void StopActionExecute();
    void SaveTagActionExecute();
    void RemoveTagActionExecute();
    void CopyButtonClick();
    void PasteButtonClick();
    void ClearButtonClick();
    void filesColumnClick(int column);
    // Renames the entry at row to `name` (the in-place edit's confirmation). False, with a message, when the
    // name is refused or the file cannot be moved; then nothing changes.
    bool renameEntry(int row, const QString& name);

    // What the tests and the main window reach.
    const std::vector<TMCRS>& entries() const { return m_entries; }
    int selectedRow() const;
    void selectRow(int row);
    QTableView* list() const { return m_list; }
    QLineEdit* field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }
    QString statusText() const;
    QAction* action(const QString& objectName) const;
    // Where the window's messages and questions go (tests answer them here instead of in a modal box).
    void setMessagePort(MessagePort& messages) { m_messages = &messages; }
    // Replaces Export's folder picker (tests).
    void setFolderPicker(std::function<QString(const QString& start)> picker) {
        m_pickFolder = std::move(picker);
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildUi();
    void validatecontrols();
    void filesSelectItem();
    void fillFields(const audiotag& tag);
    audiotag fieldsTag() const;
    void sortBy(int column);
    bool fileEditable(int row) const;
    void offerCurrentFile();
    QString entryPath() const;

    RecordingsDb& m_database;
    LibraryHost& m_host;
    MessagePort* m_messages;
    std::unique_ptr<MorvelLibrary> m_tags;
    std::vector<TMCRS> m_entries;
    LibraryModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    std::array<QLineEdit*, 7> m_fields{};
    QLabel* m_status = nullptr;
    audiotag m_store;
    int m_sortColumn = 0;
    std::array<bool, ColumnCount> m_sortFlags{};
    std::function<QString(const QString&)> m_pickFolder;
    friend class LibraryModel;
};

} // namespace quimbrel
