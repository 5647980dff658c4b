// The recordings library window.
#include "Tplaylist.h"

#include "Trash.h"

#include "morvel_loader.h"
#include "ports/MessagePort.h"
#include "state/recordingsdb.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace quimbrel {

namespace {

constexpr int kFieldLength = 250;
const char* const kCaption = "Recording Library";
// Plain messages carry the program's title.
const char* const kProgram = "Quimbrel";

std::string s(const QString& text) {
    return text.toStdString();
}

// Texts compared by character code with the case of the ASCII letters ignored (and no other).
int compareAsciiNoCase(const QString& a, const QString& b) {
    const auto fold = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'A' && u <= u'Z' ? static_cast<char16_t>(u + 32) : u;
    };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = fold(a[i]);
        const char16_t y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// A whole number above 0, else 0.
unsigned positiveNumber(const QString& text) {
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok);
    return ok && v > 0 && v <= 0xffffffffLL ? static_cast<unsigned>(v) : 0u;
}

} // namespace

// The virtual list: row n shows entry n.
class LibraryModel final : public QAbstractTableModel {
public:
    explicit LibraryModel(Tplaylist& window) : QAbstractTableModel(&window), m_window(window) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_window.m_entries.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Tplaylist::ColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const TMCRS& e = m_window.m_entries[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            switch (index.column()) {
            case Tplaylist::ColFile:
                return QFileInfo(e.path).fileName();
            case Tplaylist::ColTitle:
                return e.title;
            case Tplaylist::ColArtist:
                return e.artist;
            case Tplaylist::ColDuration:
                return Tplaylist::durationText(e.duration);
            case Tplaylist::ColModified:
                return QLocale().toString(e.modified.date(), QLocale::ShortFormat);
            default:
                return {};
            }
        }
        if (role == Qt::DecorationRole && index.column() == Tplaylist::ColFile) {
            // The file type's icon from the icon theme.
            const QMimeType type = m_mimes.mimeTypeForFile(e.path, QMimeDatabase::MatchExtension);
            for (const QString& name :
                 {type.iconName(), type.genericIconName(), QStringLiteral("audio-x-generic")})
                if (QIcon icon = QIcon::fromTheme(name); !icon.isNull())
                    return icon;
            return m_window.style()->standardIcon(QStyle::SP_FileIcon);
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const names[] = {"File", "Title", "Artist", "Duration", "Last Modified"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < Tplaylist::ColumnCount)
            return QString::fromLatin1(names[section]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (!index.isValid())
            return f;
        f |= Qt::ItemIsDragEnabled;
        if (index.column() == Tplaylist::ColFile && m_window.fileEditable(index.row()))
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.column() != Tplaylist::ColFile)
            return false;
        return m_window.renameEntry(index.row(), value.toString());
    }

    // Dragging rows out offers their files.
    QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list")}; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        QList<QUrl> urls;
        QList<int> rows;
        for (const QModelIndex& i : indexes)
            if (i.isValid() && !rows.contains(i.row()) && i.row() < rowCount()) {
                rows.append(i.row());
                urls.append(QUrl::fromLocalFile(m_window.m_entries[static_cast<std::size_t>(i.row())].path));
            }
        if (urls.isEmpty())
            return nullptr;
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        return mime;
    }

    void reset() {
        beginResetModel();
        endResetModel();
    }
    void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, Tplaylist::ColumnCount - 1)); }
    void removeEntry(int row) {
        beginRemoveRows({}, row, row);
        m_window.m_entries.erase(m_window.m_entries.begin() + row);
        endRemoveRows();
    }

private:
    Tplaylist& m_window;
    QMimeDatabase m_mimes;
};

Tplaylist::Tplaylist(RecordingsDb& database, LibraryHost& host, MessagePort& messages, QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_database(database), m_host(host), m_messages(&messages),
      m_tags(std::make_unique<MorvelLibrary>()) {
    setObjectName(QStringLiteral("Tplaylist"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // Outside a desktop session Qt knows no icon theme: the file type icons then come from the system's
    // default theme.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("default"));
    // The tag component; without it the tag area stays empty and saving reports its failure.
    m_tags->load();
    m_pickFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Select Directory"), start,
                                                 QFileDialog::ShowDirsOnly);
    };
    buildUi();
    ClearButtonClick();
    validatecontrols();
}

Tplaylist::~Tplaylist() {
    m_entries.clear();
    m_tags->unload();
}

QString Tplaylist::durationText(int seconds) {
    const int s = std::max(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600 % 24)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void Tplaylist::buildUi() {
    const auto makeAction = [this](const char* name, const char* caption, const char* hint,
                                   void (Tplaylist::*handler)(), const char* icon) {
        auto* a =
            new QAction(QIcon::fromTheme(QString::fromLatin1(icon)), QString::fromLatin1(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        if (hint && *hint) {
            a->setToolTip(QString::fromLatin1(hint));
            a->setStatusTip(QString::fromLatin1(hint));
        }
        connect(a, &QAction::triggered, this, [this, handler] {
            (this->*handler)();
            validatecontrols();
        });
        return a;
    };
    QAction* rename =
        makeAction("RenameAction", "Rename", "Rename", &Tplaylist::RenameActionExecute, "edit-rename");
    rename->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
    QAction* saveAs = makeAction("SaveAsAction", "Export", "Export audio file...",
                                 &Tplaylist::SaveAsActionExecute, "document-save-as");
    saveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    QAction* remove =
        makeAction("DeleteAction", "Delete", "Delete", &Tplaylist::DeleteActionExecute, "edit-delete");
    QAction* play =
        makeAction("PlayAction", "Play", "Play", &Tplaylist::PlayActionExecute, "media-playback-start");
    QAction* stop =
        makeAction("StopAction", "Stop", "Stop", &Tplaylist::StopActionExecute, "media-playback-stop");
    QAction* refresh = makeAction("RefreshAction", "Refresh folder", "Refresh Folder",
                                  &Tplaylist::RefreshActionExecute, "view-refresh");
    QAction* saveTag = makeAction("SaveTagAction", "Save Tag", "", &Tplaylist::SaveTagActionExecute, "");
    QAction* removeTag =
        makeAction("RemoveTagAction", "Remove Tag", "", &Tplaylist::RemoveTagActionExecute, "");

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(rename);
    file->addAction(saveAs);
    file->addAction(remove);
    QMenu* operations = menuBar()->addMenu(QStringLiteral("&Operations"));
    operations->addAction(play);
    operations->addAction(stop);
    operations->addAction(refresh);

    QToolBar* tools = addToolBar(QStringLiteral("Commands"));
    tools->setObjectName(QStringLiteral("toolbar"));
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->setMovable(false);
    for (QAction* a : {rename, saveAs, remove, play, stop})
        tools->addAction(a);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_model = new LibraryModel(*this);
    m_list = new QTableView(central);
    m_list->setObjectName(QStringLiteral("files"));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    m_list->setDragEnabled(true);
    m_list->setDragDropMode(QAbstractItemView::DragOnly);
    m_list->setDefaultDropAction(Qt::CopyAction);
    m_list->horizontalHeader()->setSortIndicatorShown(false);
    m_list->horizontalHeader()->setSectionsClickable(true);
    const int widths[] = {200, 200, 200, 75, 75};
    for (int c = 0; c < ColumnCount; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_list->horizontalHeader()->setStretchLastSection(true);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) {
        filesColumnClick(c);
        validatecontrols();
    });
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this] {
        PlayActionExecute();
        validatecontrols();
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        filesSelectItem();
        validatecontrols();
    });
    // The Delete key in the list.
    auto* deleteKey = new QAction(m_list);
    deleteKey->setShortcut(QKeySequence::Delete);
    deleteKey->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteKey, &QAction::triggered, remove, &QAction::trigger);
    m_list->addAction(deleteKey);
    // The row's context menu.
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this, rename, saveAs, remove](const QPoint& at) {
                if (!m_list->indexAt(at).isValid())
                    return;
                QMenu menu(this);
                menu.addAction(rename);
                menu.addAction(saveAs);
                menu.addSeparator();
                menu.addAction(remove);
                menu.exec(m_list->viewport()->mapToGlobal(at));
            });
    layout->addWidget(m_list, 1);

    // The tag area: Title, Album, Genre on the left; Artist, Comment, Track beside Year on the right.
    auto* tags = new QGridLayout;
    const char* const labels[] = {"Title:", "Artist:", "Album:", "Track:", "Year:", "Genre:", "Comment:"};
    const char* const names[] = {"title", "artist", "album", "track", "year", "genre", "comment"};
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i] = new QLineEdit(central);
        m_fields[i]->setObjectName(QString::fromLatin1(names[i]));
        m_fields[i]->setMaxLength(kFieldLength);
    }
    const auto label = [central, &labels](std::size_t i) {
        return new QLabel(QString::fromLatin1(labels[i]), central);
    };
    tags->addWidget(label(0), 0, 0);
    tags->addWidget(m_fields[0], 0, 1);
    tags->addWidget(label(2), 1, 0);
    tags->addWidget(m_fields[2], 1, 1);
    tags->addWidget(label(5), 2, 0);
    tags->addWidget(m_fields[5], 2, 1);
    tags->addWidget(label(1), 0, 2);
    tags->addWidget(m_fields[1], 0, 3, 1, 3);
    tags->addWidget(label(6), 1, 2);
    tags->addWidget(m_fields[6], 1, 3, 1, 3);
    tags->addWidget(label(3), 2, 2);
    tags->addWidget(m_fields[3], 2, 3);
    tags->addWidget(label(4), 2, 4);
    tags->addWidget(m_fields[4], 2, 5);
    layout->addLayout(tags);

    auto* buttons = new QHBoxLayout;
    const auto button = [central](const char* caption, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(caption), central);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    QPushButton* copy = button("Copy Tag", "CopyButton");
    QPushButton* paste = button("Paste Tag", "PasteButton");
    QPushButton* clear = button("Clear Fields", "ClearButton");
    QPushButton* save = button("Save Tag", "SaveTagButton");
    QPushButton* strip = button("Remove Tag", "RemoveTagButton");
    connect(copy, &QPushButton::clicked, this, &Tplaylist::CopyButtonClick);
    connect(paste, &QPushButton::clicked, this, &Tplaylist::PasteButtonClick);
    connect(clear, &QPushButton::clicked, this, &Tplaylist::ClearButtonClick);
    connect(save, &QPushButton::clicked, saveTag, &QAction::trigger);
    connect(strip, &QPushButton::clicked, removeTag, &QAction::trigger);
    connect(saveTag, &QAction::enabledChanged, save, &QPushButton::setEnabled);
    connect(removeTag, &QAction::enabledChanged, strip, &QPushButton::setEnabled);
    buttons->addWidget(copy);
    buttons->addWidget(paste);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(strip);
    layout->addLayout(buttons);

    setCentralWidget(central);
    m_status = new QLabel(this);
    statusBar()->addWidget(m_status);
    m_status->setText(QStringLiteral("Total files found: 0"));
    resize(800, 520);
}

QAction* Tplaylist::action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

QString Tplaylist::statusText() const {
    return m_status->text();
}

int Tplaylist::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void Tplaylist::selectRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_entries.size())) {
        m_list->selectionModel()->clearSelection();
        m_list->setCurrentIndex({});
    } else {
        m_list->selectionModel()->setCurrentIndex(
            m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    validatecontrols();
}

QString Tplaylist::entryPath() const {
    const int row = selectedRow();
    return row < 0 ? QString() : m_entries[static_cast<std::size_t>(row)].path;
}

void Tplaylist::validatecontrols() {
    const bool selected = selectedRow() >= 0;
    for (const char* name : {"RenameAction", "SaveAsAction", "DeleteAction", "PlayAction", "StopAction",
                             "SaveTagAction", "RemoveTagAction"})
        if (QAction* a = action(QString::fromLatin1(name)))
            a->setEnabled(selected);
}

bool Tplaylist::fileEditable(int row) const {
    return row >= 0 && row < static_cast<int>(m_entries.size()) &&
           !m_host.libraryPlayerHolds(m_entries[static_cast<std::size_t>(row)].path);
}

audiotag Tplaylist::GetTag(const QString& path) const {
    audiotag tag;
    m_tags->taglib_set_strings_unicode(1);
    morvel_file* file = m_tags->taglib_file_newu(path.toUtf8().constData());
    if (file && m_tags->taglib_file_is_valid(file)) {
        if (const morvel_tag* t = m_tags->taglib_file_tag(file)) {
            tag.title = QString::fromUtf8(m_tags->taglib_tag_title(t));
            tag.artist = QString::fromUtf8(m_tags->taglib_tag_artist(t));
            tag.album = QString::fromUtf8(m_tags->taglib_tag_album(t));
            tag.track = QString::number(m_tags->taglib_tag_track(t));
            tag.year = QString::number(m_tags->taglib_tag_year(t));
            tag.genre = QString::fromUtf8(m_tags->taglib_tag_genre(t));
            tag.comment = QString::fromUtf8(m_tags->taglib_tag_comment(t));
        }
        tag.length = m_tags->taglib_audioproperties_length(m_tags->taglib_file_audioproperties(file));
    }
    m_tags->taglib_tag_free_strings();
    m_tags->taglib_file_free(file);
    return tag;
}

void Tplaylist::RefreshActionExecute() {
    const QString selected = entryPath();
    m_entries.clear();
    std::vector<RecordingRow> rows;
    if (m_database.isOpen())
        m_database.listRecordings(rows);
    for (const RecordingRow& row : rows) {
        const QString path = QString::fromStdString(row.musicPath + row.musicName);
        const QFileInfo info(path);
        if (!info.isFile() || info.size() <= 0)
            continue;
        const audiotag tag = GetTag(path);
        m_entries.push_back({path, tag.title, tag.artist, tag.length, info.lastModified(), row.musicId});
    }
    m_model->reset();
    m_status->setText(QStringLiteral("Total files found: %1").arg(m_entries.size()));
    // Keep the row that was selected, when it is still listed.
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].path == selected)
            selectRow(static_cast<int>(i));
    if (!m_entries.empty())
        offerCurrentFile();
    validatecontrols();
}

void Tplaylist::offerCurrentFile() {
    if (m_host.libraryTakesCurrentFile())
        m_host.librarySetCurrentFile(entryPath());
}

void Tplaylist::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Each showing refreshes and re-applies the last sort in the same direction.
    RefreshActionExecute();
    m_sortFlags[static_cast<std::size_t>(m_sortColumn)] =
        !m_sortFlags[static_cast<std::size_t>(m_sortColumn)];
    filesColumnClick(m_sortColumn);
    validatecontrols();
}

void Tplaylist::filesColumnClick(int column) {
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    sortBy(column);
    auto& flag = m_sortFlags[static_cast<std::size_t>(column)];
    const bool descending = flag;
    flag = !flag;
    // The sorted column's mark: pointing down after an ascending sort, up after a descending one.
    QHeaderView* header = m_list->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void Tplaylist::sortBy(int column) {
    const QString selected = entryPath();
    const bool descending = m_sortFlags[static_cast<std::size_t>(column)];
    const auto compare = [column](const TMCRS& a, const TMCRS& b) {
        switch (column) {
        case ColFile:
            return compareAsciiNoCase(a.path, b.path);
        case ColTitle:
            return compareAsciiNoCase(a.title, b.title);
        case ColArtist:
            return compareAsciiNoCase(a.artist, b.artist);
        case ColDuration:
            return a.duration == b.duration ? 0 : (a.duration < b.duration ? -1 : 1);
        default: {
            const QDate x = a.modified.date();
            const QDate y = b.modified.date();
            return x == y ? 0 : (x < y ? -1 : 1);
        }
        }
    };
    std::stable_sort(m_entries.begin(), m_entries.end(), [&](const TMCRS& a, const TMCRS& b) {
        const int c = compare(a, b);
        return descending ? c > 0 : c < 0;
    });
    m_model->reset();
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].path == selected)
            selectRow(static_cast<int>(i));
}

void Tplaylist::fillFields(const audiotag& tag) {
    const QString* values[] = {&tag.title, &tag.artist, &tag.album,  &tag.track,
                               &tag.year,  &tag.genre,  &tag.comment};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(*values[i]);
}

audiotag Tplaylist::fieldsTag() const {
    audiotag tag;
    QString* values[] = {&tag.title, &tag.artist, &tag.album,  &tag.track,
                         &tag.year,  &tag.genre,  &tag.comment};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        *values[i] = m_fields[i]->text();
    return tag;
}

void Tplaylist::filesSelectItem() {
    ClearButtonClick();
    const QString path = entryPath();
    if (path.isEmpty())
        return;
    fillFields(GetTag(path));
    offerCurrentFile();
}

void Tplaylist::CopyButtonClick() {
    m_store = fieldsTag();
}

void Tplaylist::PasteButtonClick() {
    fillFields(m_store);
}

void Tplaylist::ClearButtonClick() {
    for (QLineEdit* f : m_fields)
        f->clear();
}

void Tplaylist::SaveTagActionExecute() {
    const int row = selectedRow();
    if (row < 0)
        return;
    TMCRS& entry = m_entries[static_cast<std::size_t>(row)];
    const audiotag wanted = fieldsTag();
    bool saved = false;
    m_tags->taglib_set_strings_unicode(1);
    morvel_file* file = m_tags->taglib_file_newu(entry.path.toUtf8().constData());
    if (file && m_tags->taglib_file_is_valid(file)) {
        if (morvel_tag* t = m_tags->taglib_file_tag(file)) {
            m_tags->taglib_tag_set_title(t, wanted.title.toUtf8().constData());
            m_tags->taglib_tag_set_artist(t, wanted.artist.toUtf8().constData());
            m_tags->taglib_tag_set_album(t, wanted.album.toUtf8().constData());
            m_tags->taglib_tag_set_genre(t, wanted.genre.toUtf8().constData());
            m_tags->taglib_tag_set_comment(t, wanted.comment.toUtf8().constData());
            m_tags->taglib_tag_set_track(t, positiveNumber(wanted.track));
            m_tags->taglib_tag_set_year(t, positiveNumber(wanted.year));
        }
        saved = m_tags->taglib_file_save_ex(file, 3) != 0;
    }
    m_tags->taglib_file_free(file);
    // A file that could not even be opened is not saved either: it is reported the same way.
    if (!saved)
        m_messages->show("Can not save tag to the file: " + s(entry.path), kProgram, MessageIcon::None);
    const audiotag now = GetTag(entry.path);
    fillFields(now);
    entry.title = now.title;
    entry.artist = now.artist;
    m_model->rowChanged(row);
}

void Tplaylist::RemoveTagActionExecute() {
    const int row = selectedRow();
    if (row < 0)
        return;
    TMCRS& entry = m_entries[static_cast<std::size_t>(row)];
    const auto fail = [&] {
        m_messages->show("Can not remove tag from the file: " + s(entry.path), kProgram, MessageIcon::None);
    };
    if (!QFileInfo::exists(entry.path)) {
        fail();
        return;
    }
    bool removed = true;
    morvel_file* file = m_tags->taglib_file_newu(entry.path.toUtf8().constData());
    if (file && m_tags->taglib_file_is_valid(file) && m_tags->taglib_file_tag(file))
        removed = m_tags->taglib_tag_remove(file) != 0 && m_tags->taglib_file_save_ex(file, 3) != 0;
    m_tags->taglib_file_free(file);
    if (!removed) {
        // What the file still holds stays shown.
        fail();
        const audiotag now = GetTag(entry.path);
        fillFields(now);
        entry.title = now.title;
        entry.artist = now.artist;
    } else {
        ClearButtonClick();
        entry.title.clear();
        entry.artist.clear();
    }
    m_model->rowChanged(row);
}

void Tplaylist::RenameActionExecute() {
    const int row = selectedRow();
    if (row < 0 || !fileEditable(row))
        return;
    m_list->edit(m_model->index(row, ColFile));
}

bool Tplaylist::renameEntry(int row, const QString& typed) {
    if (row < 0 || row >= static_cast<int>(m_entries.size()))
        return false;
    TMCRS& entry = m_entries[static_cast<std::size_t>(row)];
    const QFileInfo old(entry.path);
    QString name = typed.trimmed();
    if (name.isEmpty() || name == old.fileName())
        return false;
    const auto refuse = [&](const std::string& why) {
        m_messages->show("Can not rename the file " + s(entry.path) + ": " + why, kCaption,
                         MessageIcon::Error);
        return false;
    };
    if (name.contains(QLatin1Char('/')))
        return refuse("a name cannot hold \"/\".");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return refuse("that name is not a file name.");
    // Without an extension the old one is kept.
    if (QFileInfo(name).suffix().isEmpty() && !old.suffix().isEmpty())
        name += QLatin1Char('.') + old.suffix();
    const QString target = old.absolutePath() + QLatin1Char('/') + name;
    if (QFileInfo::exists(target))
        return refuse(s(name) + " already exists.");
    if (!fileEditable(row))
        return refuse("it is being played.");
    // The file moves first; only a file that moved changes its row and its entry.
    QFile file(entry.path);
    if (!file.rename(target))
        return refuse(s(file.errorString()));
    if (!m_database.renameRecording(s(target), entry.musicId)) {
        // The database keeps the old name: so does the file.
        QFile::rename(target, entry.path);
        return false;
    }
    entry.path = target;
    m_model->rowChanged(row);
    return true;
}

void Tplaylist::SaveAsActionExecute() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString folder = m_pickFolder(m_host.libraryOutputFolder());
    if (folder.isEmpty())
        return;
    m_host.libraryStopPlayback();
    const QString source = m_entries[static_cast<std::size_t>(row)].path;
    const QString target = QDir(folder).filePath(QFileInfo(source).fileName());
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(source).absoluteFilePath())
        return;
    // A file of the same name is replaced; a copy that fails is reported.
    if (QFileInfo::exists(target) && !QFile::remove(target)) {
        m_messages->show("Can not replace " + s(target), kCaption, MessageIcon::Error);
        return;
    }
    QFile file(source);
    if (!file.copy(target))
        m_messages->show("Can not export " + s(source) + " to " + s(folder) + ": " + s(file.errorString()),
                         kCaption, MessageIcon::Error);
}

void Tplaylist::DeleteActionExecute() {
    const int row = selectedRow();
    if (row < 0)
        return;
    // Not while a name is being edited in the list.
    if (QWidget* focus = QApplication::focusWidget(); focus && focus != m_list && m_list->isAncestorOf(focus))
        return;
    m_host.libraryStopPlayback();
    const QString path = m_entries[static_cast<std::size_t>(row)].path;
    // To the trash, so the file can be restored; where there is none, only with the user's consent.
    std::string why;
    if (QFileInfo::exists(path) && !moveToTrash(QFile::encodeName(path).toStdString(), why)) {
        const MessageResult answer =
            m_messages->show(s(path) + " cannot be moved to the trash (" + why + "). Delete it for good?",
                             kCaption, MessageIcon::Question, MessageButtons::YesNo);
        if (answer != MessageResult::Yes)
            return;
        QFile file(path);
        if (!file.remove()) {
            m_messages->show("Can not delete " + s(path) + ": " + s(file.errorString()), kCaption,
                             MessageIcon::Error);
            return;
        }
    }
    m_database.removeRecording(s(path));
    m_model->removeEntry(row);
    m_status->setText(QStringLiteral("Total files found: %1").arg(m_entries.size()));
    const int count = static_cast<int>(m_entries.size());
    selectRow(row < count ? row : count - 1);
}

void Tplaylist::PlayActionExecute() {
    const QString path = entryPath();
    if (path.isEmpty() || !m_host.libraryCanPlay())
        return;
    m_host.libraryPlay(path);
}

void Tplaylist::StopActionExecute() {
    m_host.libraryStopPlayback();
}

} // namespace quimbrel
