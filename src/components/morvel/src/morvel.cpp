// The taglib_* C functions over TagLib's C++ API: one FileRef per file handle, pictures written in each
// format's own way, every change kept in memory until taglib_file_save_ex. Called from any one thread per
// file.
#include "morvel.h"

#include <apefile.h>
#include <apetag.h>
#include <asffile.h>
#include <asfpicture.h>
#include <asftag.h>
#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <flacpicture.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <mp4atom.h>
#include <mp4coverart.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <tag.h>
#include <tbytevector.h>
#include <tstring.h>
#include <wavfile.h>
#include <xingheader.h>
#include <xiphcomment.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

// The handle types stay incomplete for callers; inside, a file handle is a MorvelFile, a tag handle is the
// TagLib::Tag the file owns and a properties handle its TagLib::AudioProperties.
struct morvel_file {};

namespace {

// A WAV file's own tag is its ID3v2 chunk alone; this one writes the INFO list as well, so that readers of
// either find the texts, and reads the INFO list where the ID3v2 chunk lacks a field.
class WavTag : public TagLib::Tag {
public:
    WavTag(TagLib::ID3v2::Tag* id3, TagLib::RIFF::Info::Tag* info) : m_id3(id3), m_info(info) {}

    TagLib::String title() const override { return pick(m_id3->title(), m_info->title()); }
    TagLib::String artist() const override { return pick(m_id3->artist(), m_info->artist()); }
    TagLib::String album() const override { return pick(m_id3->album(), m_info->album()); }
    TagLib::String comment() const override { return pick(m_id3->comment(), m_info->comment()); }
    TagLib::String genre() const override { return pick(m_id3->genre(), m_info->genre()); }
    unsigned int year() const override { return m_id3->year() != 0 ? m_id3->year() : m_info->year(); }
    unsigned int track() const override { return m_id3->track() != 0 ? m_id3->track() : m_info->track(); }

    void setTitle(const TagLib::String& s) override {
        m_id3->setTitle(s);
        m_info->setTitle(s);
    }
    void setArtist(const TagLib::String& s) override {
        m_id3->setArtist(s);
        m_info->setArtist(s);
    }
    void setAlbum(const TagLib::String& s) override {
        m_id3->setAlbum(s);
        m_info->setAlbum(s);
    }
    void setComment(const TagLib::String& s) override {
        m_id3->setComment(s);
        m_info->setComment(s);
    }
    void setGenre(const TagLib::String& s) override {
        m_id3->setGenre(s);
        m_info->setGenre(s);
    }
    void setYear(unsigned int i) override {
        m_id3->setYear(i);
        m_info->setYear(i);
    }
    void setTrack(unsigned int i) override {
        m_id3->setTrack(i);
        m_info->setTrack(i);
    }

private:
    static TagLib::String pick(const TagLib::String& first, const TagLib::String& second) {
        return first.isEmpty() ? second : first;
    }

    TagLib::ID3v2::Tag* m_id3;
    TagLib::RIFF::Info::Tag* m_info;
};

// Every chunk of a RIFF file lies inside the file. A header promising more data than the file holds marks a
// recording cut short; TagLib would place its chunks by the promise, so such a file is left alone.
bool riffChunksFit(TagLib::File* f) {
    const long length = f->length();
    f->seek(0);
    const TagLib::ByteVector header = f->readBlock(12);
    if (header.size() != 12 || !header.startsWith("RIFF")) {
        return false;
    }
    long offset = 12;
    while (offset + 8 <= length) {
        f->seek(offset);
        const TagLib::ByteVector chunk = f->readBlock(8);
        if (chunk.size() != 8) {
            return false;
        }
        const long size = static_cast<long>(chunk.toUInt(4U, false));
        if (offset + 8 + size > length) {
            return false;
        }
        offset += 8 + size + (size & 1);
    }
    return true;
}

// The MPEG stream is as long as its VBR header says; a shorter one was cut short.
bool mpegStreamComplete(TagLib::MPEG::File* mpeg) {
    const auto* properties = mpeg->audioProperties();
    const TagLib::MPEG::XingHeader* xing = properties != nullptr ? properties->xingHeader() : nullptr;
    if (xing == nullptr || !xing->isValid() || xing->totalSize() == 0) {
        return true;
    }
    const long first = mpeg->firstFrameOffset();
    return first >= 0 && first + static_cast<long>(xing->totalSize()) <= mpeg->length();
}

// A fragmented MP4 (a recording kept as it was written) states no length in its movie header: TagLib gives
// it a length of 0, yet it is whole audio.
bool fragmentedMp4(TagLib::File* f) {
    if (dynamic_cast<TagLib::MP4::File*>(f) == nullptr) {
        return false;
    }
    TagLib::MP4::Atoms atoms(f);
    return atoms.find("moov", "mvex") != nullptr && atoms.find("moof") != nullptr;
}

// TagLib accepts some files that are not audio (an MPEG reader takes almost anything) or that were cut
// short; such files are refused, so that no tag is written into them.
bool usable(TagLib::File* f) {
    if (f == nullptr || !f->isValid()) {
        return false;
    }
    const TagLib::AudioProperties* properties = f->audioProperties();
    if (properties == nullptr || properties->sampleRate() <= 0 || properties->channels() <= 0) {
        return false;
    }
    if (properties->lengthInMilliseconds() <= 0 && !fragmentedMp4(f)) {
        return false;
    }
    if (dynamic_cast<TagLib::RIFF::WAV::File*>(f) != nullptr && !riffChunksFit(f)) {
        return false;
    }
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(f); mpeg != nullptr && !mpegStreamComplete(mpeg)) {
        return false;
    }
    return true;
}

struct MorvelFile : morvel_file {
    explicit MorvelFile(const char* path) : ref(path, true, TagLib::AudioProperties::Average) {
        valid = usable(ref.file());
        if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file())) {
            if (wav->ID3v2Tag() != nullptr && wav->InfoTag() != nullptr) {
                wavTag = std::make_unique<WavTag>(wav->ID3v2Tag(), wav->InfoTag());
            }
        }
    }
    // The tag handed out: the WAV pair where there is one, else the file's own.
    TagLib::Tag* tag() const { return wavTag ? wavTag.get() : ref.file()->tag(); }

    TagLib::FileRef ref;
    bool valid = false;
    std::unique_ptr<WavTag> wavTag;
};

MorvelFile* cast(morvel_file* file) {
    return static_cast<MorvelFile*>(file);
}
const MorvelFile* cast(const morvel_file* file) {
    return static_cast<const MorvelFile*>(file);
}
TagLib::Tag* cast(morvel_tag* tag) {
    return reinterpret_cast<TagLib::Tag*>(tag);
}
const TagLib::Tag* cast(const morvel_tag* tag) {
    return reinterpret_cast<const TagLib::Tag*>(tag);
}

// The underlying file when it was parsed and found usable, else null: nothing is read from or written to a
// file that is not whole audio of its kind.
TagLib::File* parsed(const morvel_file* file) {
    if (file == nullptr) {
        return nullptr;
    }
    const MorvelFile* f = cast(file);
    return f->valid ? f->ref.file() : nullptr;
}

std::atomic<bool> g_unicode{true};

TagLib::String toString(const char* text) {
    if (text == nullptr) {
        return {};
    }
    return TagLib::String(text, g_unicode.load() ? TagLib::String::UTF8 : TagLib::String::Latin1);
}

// Texts handed out by the getters, kept until taglib_tag_free_strings.
std::mutex g_stringsMutex;
std::vector<std::unique_ptr<char[]>> g_strings;

const char* keep(const TagLib::String& value) {
    const std::string bytes = value.to8Bit(g_unicode.load());
    auto copy = std::make_unique<char[]>(bytes.size() + 1);
    std::memcpy(copy.get(), bytes.c_str(), bytes.size() + 1);
    std::lock_guard lock(g_stringsMutex);
    g_strings.push_back(std::move(copy));
    return g_strings.back().get();
}

template <typename Function> const char* textOf(const morvel_tag* tag, Function get) {
    try {
        if (tag != nullptr) {
            return keep(get(cast(tag)));
        }
    } catch (...) {
    }
    return "";
}

template <typename Function> void change(morvel_tag* tag, Function set) {
    try {
        if (tag != nullptr) {
            set(cast(tag));
        }
    } catch (...) {
    }
}

template <typename Function> int fileOperation(morvel_file* file, Function operation) {
    try {
        TagLib::File* f = parsed(file);
        return f != nullptr && operation(f) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// ---- pictures, in each container's own way

void deleteId3v2Pictures(TagLib::ID3v2::Tag* tag) {
    if (tag != nullptr) {
        tag->removeFrames("APIC");
        tag->removeFrames("PIC");
    }
}

void deleteXiphPictures(TagLib::Ogg::XiphComment* tag) {
    if (tag != nullptr) {
        tag->removeAllPictures();
        // Older writers kept pictures as base64 fields of their own.
        tag->removeFields("COVERART");
        tag->removeFields("COVERARTMIME");
    }
}

void deleteApePictures(TagLib::APE::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    std::vector<TagLib::String> keys;
    for (const auto& item : tag->itemListMap()) {
        if (item.first.startsWith("COVER ART")) {
            keys.push_back(item.first);
        }
    }
    for (const auto& key : keys) {
        tag->removeItem(key);
    }
}

bool deletePictures(TagLib::File* f) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(f)) {
        deleteId3v2Pictures(mpeg->ID3v2Tag());
        deleteApePictures(mpeg->APETag());
        return true;
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(f)) {
        flac->removePictures();
        deleteXiphPictures(flac->xiphComment());
        deleteId3v2Pictures(flac->ID3v2Tag());
        return true;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(f)) {
        mp4->tag()->removeItem("covr");
        return true;
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(f)) {
        asf->tag()->removeItem("WM/Picture");
        return true;
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f)) {
        deleteId3v2Pictures(wav->ID3v2Tag());
        return true;
    }
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(f)) {
        deleteApePictures(ape->APETag());
        return true;
    }
    if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(f->tag())) {
        deleteXiphPictures(xiph);
        return true;
    }
    if (auto* id3 = dynamic_cast<TagLib::ID3v2::Tag*>(f->tag())) {
        deleteId3v2Pictures(id3);
        return true;
    }
    // A format without pictures has none to delete.
    return true;
}

struct Picture {
    int type;
    TagLib::String mime;
    TagLib::String description;
    TagLib::ByteVector data;
};

void addId3v2Picture(TagLib::ID3v2::Tag* tag, const Picture& picture) {
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setTextEncoding(TagLib::String::UTF8);
    frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
    frame->setMimeType(picture.mime);
    frame->setDescription(picture.description);
    frame->setPicture(picture.data);
    tag->addFrame(frame.release());
}

TagLib::FLAC::Picture* flacPicture(const Picture& picture) {
    auto result = std::make_unique<TagLib::FLAC::Picture>();
    result->setType(static_cast<TagLib::FLAC::Picture::Type>(picture.type));
    result->setMimeType(picture.mime);
    result->setDescription(picture.description);
    result->setData(picture.data);
    return result.release();
}

TagLib::MP4::CoverArt::Format mp4Format(const Picture& picture) {
    const TagLib::String mime = picture.mime.upper();
    if (mime == "IMAGE/PNG") {
        return TagLib::MP4::CoverArt::PNG;
    }
    if (mime == "IMAGE/JPEG" || mime == "IMAGE/JPG") {
        return TagLib::MP4::CoverArt::JPEG;
    }
    if (mime == "IMAGE/BMP") {
        return TagLib::MP4::CoverArt::BMP;
    }
    if (mime == "IMAGE/GIF") {
        return TagLib::MP4::CoverArt::GIF;
    }
    return TagLib::MP4::CoverArt::Unknown;
}

bool addPicture(TagLib::File* f, const Picture& picture) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(f)) {
        addId3v2Picture(mpeg->ID3v2Tag(true), picture);
        return true;
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(f)) {
        flac->addPicture(flacPicture(picture));
        return true;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(f)) {
        // The covr atom keeps neither type nor description, only the image and its format.
        TagLib::MP4::CoverArtList covers;
        if (mp4->tag()->contains("covr")) {
            covers = mp4->tag()->item("covr").toCoverArtList();
        }
        covers.append(TagLib::MP4::CoverArt(mp4Format(picture), picture.data));
        mp4->tag()->setItem("covr", covers);
        return true;
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(f)) {
        TagLib::ASF::Picture value;
        value.setType(static_cast<TagLib::ASF::Picture::Type>(picture.type));
        value.setMimeType(picture.mime);
        value.setDescription(picture.description);
        value.setPicture(picture.data);
        asf->tag()->addAttribute("WM/Picture", TagLib::ASF::Attribute(value));
        return true;
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f)) {
        addId3v2Picture(wav->ID3v2Tag(), picture);
        return true;
    }
    if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(f->tag())) {
        // Ogg Vorbis, Opus, Speex and Ogg FLAC: a base64 METADATA_BLOCK_PICTURE field.
        xiph->addPicture(flacPicture(picture));
        return true;
    }
    if (auto* id3 = dynamic_cast<TagLib::ID3v2::Tag*>(f->tag())) {
        addId3v2Picture(id3, picture);
        return true;
    }
    return false;
}

// ---- removing every tag

void clearId3v2(TagLib::ID3v2::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    // A copy of the frame list would share the tag's list, which owns and deletes its frames.
    const std::vector<TagLib::ID3v2::Frame*> frames(tag->frameList().begin(), tag->frameList().end());
    for (TagLib::ID3v2::Frame* frame : frames) {
        tag->removeFrame(frame, true);
    }
}

void clearApe(TagLib::APE::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    std::vector<TagLib::String> keys;
    for (const auto& item : tag->itemListMap()) {
        keys.push_back(item.first);
    }
    for (const auto& key : keys) {
        tag->removeItem(key);
    }
}

void clearXiph(TagLib::Ogg::XiphComment* tag) {
    if (tag != nullptr) {
        tag->removeAllFields();
        tag->removeAllPictures();
    }
}

// Clears the basic fields of any tag; for the formats below, the rest is cleared by kind.
void clearBasic(TagLib::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    tag->setTitle(TagLib::String());
    tag->setArtist(TagLib::String());
    tag->setAlbum(TagLib::String());
    tag->setComment(TagLib::String());
    tag->setGenre(TagLib::String());
    tag->setYear(0);
    tag->setTrack(0);
}

bool removeTags(TagLib::File* f) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(f)) {
        clearId3v2(mpeg->ID3v2Tag());
        clearApe(mpeg->APETag());
        clearBasic(mpeg->ID3v1Tag());
        return true;
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(f)) {
        flac->removePictures();
        clearXiph(flac->xiphComment());
        clearId3v2(flac->ID3v2Tag());
        clearBasic(flac->ID3v1Tag());
        return true;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(f)) {
        std::vector<TagLib::String> keys;
        for (const auto& item : mp4->tag()->itemMap()) {
            keys.push_back(item.first);
        }
        for (const auto& key : keys) {
            mp4->tag()->removeItem(key);
        }
        return true;
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(f)) {
        TagLib::ASF::Tag* tag = asf->tag();
        std::vector<TagLib::String> keys;
        for (const auto& item : tag->attributeListMap()) {
            keys.push_back(item.first);
        }
        for (const auto& key : keys) {
            tag->removeItem(key);
        }
        clearBasic(tag);
        tag->setCopyright(TagLib::String());
        tag->setRating(TagLib::String());
        return true;
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f)) {
        clearId3v2(wav->ID3v2Tag());
        TagLib::RIFF::Info::Tag* info = wav->InfoTag();
        if (info != nullptr) {
            const TagLib::RIFF::Info::FieldListMap fields = info->fieldListMap();
            for (const auto& field : fields) {
                info->removeField(field.first);
            }
        }
        return true;
    }
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(f)) {
        clearApe(ape->APETag());
        clearBasic(ape->ID3v1Tag());
        return true;
    }
    if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(f->tag())) {
        clearXiph(xiph);
        return true;
    }
    if (auto* id3 = dynamic_cast<TagLib::ID3v2::Tag*>(f->tag())) {
        clearId3v2(id3);
        return true;
    }
    clearBasic(f->tag());
    return true;
}

// A RIFF file states its size in 32 bits. Tags that would take a WAV past 4 GiB would wrap that size and make
// the audio unreadable, so they are not written. The estimate counts the tags as added to the whole file as
// it is, so near the limit it refuses a little early rather than late.
bool wavTagsFit(TagLib::RIFF::WAV::File* wav) {
    constexpr unsigned long long kChunkHeader = 8 + 1; // id, size and a possible pad byte
    constexpr unsigned long long kLargestRiff = 0xFFFFFFFFull + 8;
    unsigned long long size = static_cast<unsigned long long>(wav->length());
    if (wav->ID3v2Tag() != nullptr) {
        size += wav->ID3v2Tag()->render(TagLib::ID3v2::v4).size() + kChunkHeader;
    }
    if (wav->InfoTag() != nullptr) {
        size += wav->InfoTag()->render().size() + kChunkHeader;
    }
    return size <= kLargestRiff;
}

bool save(TagLib::File* f) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(f)) {
        // ID3v2.4 is the tag written; ID3v1 and APE tags the file already carries are kept up to date.
        // An empty tag is taken out of the file.
        int tags = TagLib::MPEG::File::ID3v2;
        if (mpeg->hasID3v1Tag()) {
            tags |= TagLib::MPEG::File::ID3v1;
        }
        if (mpeg->hasAPETag()) {
            tags |= TagLib::MPEG::File::APE;
        }
        return mpeg->save(tags, TagLib::File::StripNone, TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate);
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f)) {
        if (!wavTagsFit(wav)) {
            return false;
        }
        return wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v4);
    }
    return f->save();
}

// TagLib can report success for a save that left the file without the tag (a file it misplaced the tag in,
// a file replaced on disk meanwhile); what the file holds afterwards is what counts.
bool savedAsWritten(const MorvelFile& written) {
    const TagLib::Tag* expected = written.tag();
    // TagLib writes through a stdio stream it keeps open; what it wrote must reach the file before another
    // stream reads it.
    std::fflush(nullptr);
    const MorvelFile again(written.ref.file()->name());
    if (again.ref.file() == nullptr || !again.valid) {
        return false;
    }
    const TagLib::Tag* found = again.tag();
    return found != nullptr && found->title() == expected->title() && found->artist() == expected->artist() &&
           found->album() == expected->album() && found->comment() == expected->comment() &&
           found->genre() == expected->genre() && found->year() == expected->year() &&
           found->track() == expected->track();
}

} // namespace

extern "C" {

void taglib_set_strings_unicode(int unicode) {
    g_unicode.store(unicode != 0);
}

morvel_file* taglib_file_newu(const char* path) {
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    try {
        auto file = std::make_unique<MorvelFile>(path);
        if (file->ref.file() == nullptr) {
            return nullptr;
        }
        return file.release();
    } catch (...) {
        return nullptr;
    }
}

void taglib_file_free(morvel_file* file) {
    try {
        delete cast(file);
    } catch (...) {
    }
}

int taglib_file_is_valid(const morvel_file* file) {
    try {
        return parsed(file) != nullptr ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

morvel_tag* taglib_file_tag(const morvel_file* file) {
    try {
        return parsed(file) != nullptr ? reinterpret_cast<morvel_tag*>(cast(file)->tag()) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

const morvel_audioproperties* taglib_file_audioproperties(const morvel_file* file) {
    try {
        TagLib::File* f = parsed(file);
        return f != nullptr ? reinterpret_cast<const morvel_audioproperties*>(f->audioProperties()) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

int taglib_file_save_ex(morvel_file* file, int /*mode*/) {
    return fileOperation(
        file, [&](TagLib::File* f) { return !f->readOnly() && save(f) && savedAsWritten(*cast(file)); });
}

const char* taglib_tag_title(const morvel_tag* tag) {
    return textOf(tag, [](const TagLib::Tag* t) { return t->title(); });
}
const char* taglib_tag_artist(const morvel_tag* tag) {
    return textOf(tag, [](const TagLib::Tag* t) { return t->artist(); });
}
const char* taglib_tag_album(const morvel_tag* tag) {
    return textOf(tag, [](const TagLib::Tag* t) { return t->album(); });
}
const char* taglib_tag_comment(const morvel_tag* tag) {
    return textOf(tag, [](const TagLib::Tag* t) { return t->comment(); });
}
const char* taglib_tag_genre(const morvel_tag* tag) {
    return textOf(tag, [](const TagLib::Tag* t) { return t->genre(); });
}

unsigned int taglib_tag_year(const morvel_tag* tag) {
    try {
        return tag != nullptr ? cast(tag)->year() : 0;
    } catch (...) {
        return 0;
    }
}

unsigned int taglib_tag_track(const morvel_tag* tag) {
    try {
        return tag != nullptr ? cast(tag)->track() : 0;
    } catch (...) {
        return 0;
    }
}

void taglib_tag_set_title(morvel_tag* tag, const char* title) {
    change(tag, [&](TagLib::Tag* t) { t->setTitle(toString(title)); });
}
void taglib_tag_set_artist(morvel_tag* tag, const char* artist) {
    change(tag, [&](TagLib::Tag* t) { t->setArtist(toString(artist)); });
}
void taglib_tag_set_album(morvel_tag* tag, const char* album) {
    change(tag, [&](TagLib::Tag* t) { t->setAlbum(toString(album)); });
}
void taglib_tag_set_comment(morvel_tag* tag, const char* comment) {
    change(tag, [&](TagLib::Tag* t) { t->setComment(toString(comment)); });
}
void taglib_tag_set_genre(morvel_tag* tag, const char* genre) {
    change(tag, [&](TagLib::Tag* t) { t->setGenre(toString(genre)); });
}
void taglib_tag_set_year(morvel_tag* tag, unsigned int year) {
    change(tag, [&](TagLib::Tag* t) { t->setYear(year); });
}
void taglib_tag_set_track(morvel_tag* tag, unsigned int track) {
    change(tag, [&](TagLib::Tag* t) { t->setTrack(track); });
}

void taglib_tag_free_strings(void) {
    try {
        std::lock_guard lock(g_stringsMutex);
        g_strings.clear();
    } catch (...) {
    }
}

int taglib_tag_remove(morvel_file* file) {
    return fileOperation(file, removeTags);
}

int taglib_tag_delete_allcovers(morvel_file* file) {
    return fileOperation(file, deletePictures);
}

int taglib_tag_set_cover(morvel_file* file, int type, unsigned int size, const char* mime,
                         const char* description, const void* data) {
    if (data == nullptr || size == 0 || type < 0 || type > 20) {
        return 0;
    }
    return fileOperation(file, [&](TagLib::File* f) {
        const Picture picture{type, toString(mime), toString(description),
                              TagLib::ByteVector(static_cast<const char*>(data), size)};
        return addPicture(f, picture);
    });
}

int taglib_audioproperties_length(const morvel_audioproperties* properties) {
    try {
        return properties != nullptr
                   ? reinterpret_cast<const TagLib::AudioProperties*>(properties)->lengthInSeconds()
                   : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
