// Loads libmorvel at run time by name and binds each of its entry points; without the library every
// operation does nothing and reports failure. One instance is used by one thread at a time.
#pragma once

#include "morvel.h"

#include <string>

namespace quimbrel {

class MorvelLibrary {
public:
    // The soname looked for when load() is given no name.
    static const char* defaultName();

    MorvelLibrary() = default;
    ~MorvelLibrary();
    MorvelLibrary(const MorvelLibrary&) = delete;
    MorvelLibrary& operator=(const MorvelLibrary&) = delete;

    // Opens the library and binds every entry point; true when all were found, else the library is left
    // unloaded and error() says why. An empty name means defaultName(). A name holding '/' is opened as that
    // path only; a bare name is looked for on the standard library path, then in the running program's
    // folder, <program folder>/../lib, <program folder>/../lib/quimbrel, <program folder>/../<install libdir>
    // and last the build tree's lib folder (where the build puts libmorvel).
    // Loading again first unloads.
    bool load(const std::string& name = {});
    // Closes the library; every handle taken from it must have been freed first.
    void unload();
    bool isLoaded() const { return m_handle != nullptr; }
    // The reason of the last failed load, empty after a successful one.
    const std::string& error() const { return m_error; }
    // The path or name that was opened, empty when not loaded.
    const std::string& loadedFrom() const { return m_loadedFrom; }

    // The library's functions. Unloaded: handle and number results are null/0, text getters give "",
    // setters return false and do nothing; loaded, setters return true.
    void taglib_set_strings_unicode(int unicode) const;
    morvel_file* taglib_file_newu(const char* path) const;
    void taglib_file_free(morvel_file* file) const;
    int taglib_file_is_valid(const morvel_file* file) const;
    morvel_tag* taglib_file_tag(const morvel_file* file) const;
    const morvel_audioproperties* taglib_file_audioproperties(const morvel_file* file) const;
    int taglib_file_save_ex(morvel_file* file, int mode) const;
    const char* taglib_tag_title(const morvel_tag* tag) const;
    const char* taglib_tag_artist(const morvel_tag* tag) const;
    const char* taglib_tag_album(const morvel_tag* tag) const;
    const char* taglib_tag_comment(const morvel_tag* tag) const;
    const char* taglib_tag_genre(const morvel_tag* tag) const;
    unsigned int taglib_tag_year(const morvel_tag* tag) const;
    unsigned int taglib_tag_track(const morvel_tag* tag) const;
    bool taglib_tag_set_title(morvel_tag* tag, const char* text) const;
    bool taglib_tag_set_artist(morvel_tag* tag, const char* text) const;
    bool taglib_tag_set_album(morvel_tag* tag, const char* text) const;
    bool taglib_tag_set_comment(morvel_tag* tag, const char* text) const;
    bool taglib_tag_set_genre(morvel_tag* tag, const char* text) const;
    bool taglib_tag_set_year(morvel_tag* tag, unsigned int year) const;
    bool taglib_tag_set_track(morvel_tag* tag, unsigned int track) const;
    void taglib_tag_free_strings() const;
    int taglib_tag_remove(morvel_file* file) const;
    int taglib_tag_delete_allcovers(morvel_file* file) const;
    int taglib_tag_set_cover(morvel_file* file, int type, unsigned int size, const char* mime,
                             const char* description, const void* data) const;
    int taglib_audioproperties_length(const morvel_audioproperties* properties) const;

private:
    struct Entries {
        decltype(&::taglib_set_strings_unicode) set_strings_unicode = nullptr;
        decltype(&::taglib_file_newu) file_newu = nullptr;
        decltype(&::taglib_file_free) file_free = nullptr;
        decltype(&::taglib_file_is_valid) file_is_valid = nullptr;
        decltype(&::taglib_file_tag) file_tag = nullptr;
        decltype(&::taglib_file_audioproperties) file_audioproperties = nullptr;
        decltype(&::taglib_file_save_ex) file_save_ex = nullptr;
        decltype(&::taglib_tag_title) tag_title = nullptr;
        decltype(&::taglib_tag_artist) tag_artist = nullptr;
        decltype(&::taglib_tag_album) tag_album = nullptr;
        decltype(&::taglib_tag_comment) tag_comment = nullptr;
        decltype(&::taglib_tag_genre) tag_genre = nullptr;
        decltype(&::taglib_tag_year) tag_year = nullptr;
        decltype(&::taglib_tag_track) tag_track = nullptr;
        decltype(&::taglib_tag_set_title) tag_set_title = nullptr;
        decltype(&::taglib_tag_set_artist) tag_set_artist = nullptr;
        decltype(&::taglib_tag_set_album) tag_set_album = nullptr;
        decltype(&::taglib_tag_set_comment) tag_set_comment = nullptr;
        decltype(&::taglib_tag_set_genre) tag_set_genre = nullptr;
        decltype(&::taglib_tag_set_year) tag_set_year = nullptr;
        decltype(&::taglib_tag_set_track) tag_set_track = nullptr;
        decltype(&::taglib_tag_free_strings) tag_free_strings = nullptr;
        decltype(&::taglib_tag_remove) tag_remove = nullptr;
        decltype(&::taglib_tag_delete_allcovers) tag_delete_allcovers = nullptr;
        decltype(&::taglib_tag_set_cover) tag_set_cover = nullptr;
        decltype(&::taglib_audioproperties_length) audioproperties_length = nullptr;
    };

    bool bind(void* handle);

    void* m_handle = nullptr;
    Entries m_entries;
    std::string m_error;
    std::string m_loadedFrom;
};

} // namespace quimbrel
