// Opens libmorvel with dlopen along a fixed list of folders and binds its entry points by name.
#include "morvel_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string_view>
#include <vector>

namespace quimbrel {

namespace {

// The running program's folder, empty when it cannot be told.
std::string programFolder() {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

// Where a bare name is looked for, in order; an empty entry means the standard library path.
std::vector<std::string> candidates(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return {name};
    }
    std::vector<std::string> result{name};
    const std::string folder = programFolder();
    if (!folder.empty()) {
        result.push_back(folder + "/" + name);
        result.push_back(folder + "/../lib/" + name);
        result.push_back(folder + "/../lib/quimbrel/" + name);
#ifdef MORVEL_INSTALL_LIBDIR
        // The install's own library folder, e.g. lib64 or lib/<multiarch>, when it is not lib.
        if (std::string_view(MORVEL_INSTALL_LIBDIR) != "lib") {
            result.push_back(folder + "/../" + MORVEL_INSTALL_LIBDIR + "/" + name);
        }
#endif
    }
#ifdef MORVEL_BUILD_LIBDIR
    result.push_back(std::string(MORVEL_BUILD_LIBDIR) + "/" + name);
#endif
    return result;
}

template <typename Function>
bool bindOne(void* handle, const char* symbol, Function& target, std::string& missing) {
    target = reinterpret_cast<Function>(::dlsym(handle, symbol));
    if (target == nullptr) {
        if (!missing.empty()) {
            missing += ", ";
        }
        missing += symbol;
        return false;
    }
    return true;
}

} // namespace

const char* MorvelLibrary::defaultName() {
    return MORVEL_SONAME;
}

MorvelLibrary::~MorvelLibrary() {
    unload();
}

bool MorvelLibrary::load(const std::string& name) {
    unload();
    const std::string wanted = name.empty() ? std::string(defaultName()) : name;
    std::string reasons;
    for (const std::string& candidate : candidates(wanted)) {
        void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = ::dlerror();
            if (reasons.empty() && reason != nullptr) {
                reasons = reason;
            }
            continue;
        }
        if (!bind(handle)) {
            ::dlclose(handle);
            return false;
        }
        m_handle = handle;
        m_loadedFrom = candidate;
        m_error.clear();
        return true;
    }
    m_error = "cannot load " + wanted + (reasons.empty() ? std::string{} : ": " + reasons);
    return false;
}

bool MorvelLibrary::bind(void* handle) {
    Entries e;
    std::string missing;
    bool ok = true;
    ok &= bindOne(handle, "taglib_set_strings_unicode", e.set_strings_unicode, missing);
    ok &= bindOne(handle, "taglib_file_newu", e.file_newu, missing);
    ok &= bindOne(handle, "taglib_file_free", e.file_free, missing);
    ok &= bindOne(handle, "taglib_file_is_valid", e.file_is_valid, missing);
    ok &= bindOne(handle, "taglib_file_tag", e.file_tag, missing);
    ok &= bindOne(handle, "taglib_file_audioproperties", e.file_audioproperties, missing);
    ok &= bindOne(handle, "taglib_file_save_ex", e.file_save_ex, missing);
    ok &= bindOne(handle, "taglib_tag_title", e.tag_title, missing);
    ok &= bindOne(handle, "taglib_tag_artist", e.tag_artist, missing);
    ok &= bindOne(handle, "taglib_tag_album", e.tag_album, missing);
    ok &= bindOne(handle, "taglib_tag_comment", e.tag_comment, missing);
    ok &= bindOne(handle, "taglib_tag_genre", e.tag_genre, missing);
    ok &= bindOne(handle, "taglib_tag_year", e.tag_year, missing);
    ok &= bindOne(handle, "taglib_tag_track", e.tag_track, missing);
    ok &= bindOne(handle, "taglib_tag_set_title", e.tag_set_title, missing);
    ok &= bindOne(handle, "taglib_tag_set_artist", e.tag_set_artist, missing);
    ok &= bindOne(handle, "taglib_tag_set_album", e.tag_set_album, missing);
    ok &= bindOne(handle, "taglib_tag_set_comment", e.tag_set_comment, missing);
    ok &= bindOne(handle, "taglib_tag_set_genre", e.tag_set_genre, missing);
    ok &= bindOne(handle, "taglib_tag_set_year", e.tag_set_year, missing);
    ok &= bindOne(handle, "taglib_tag_set_track", e.tag_set_track, missing);
    ok &= bindOne(handle, "taglib_tag_free_strings", e.tag_free_strings, missing);
    ok &= bindOne(handle, "taglib_tag_remove", e.tag_remove, missing);
    ok &= bindOne(handle, "taglib_tag_delete_allcovers", e.tag_delete_allcovers, missing);
    ok &= bindOne(handle, "taglib_tag_set_cover", e.tag_set_cover, missing);
    ok &= bindOne(handle, "taglib_audioproperties_length", e.audioproperties_length, missing);
    if (!ok) {
        // A partial library is not used at all: a handle it gave out might have no way to be freed.
        m_error = "missing entry points: " + missing;
        return false;
    }
    m_entries = e;
    return true;
}

void MorvelLibrary::unload() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
    m_handle = nullptr;
    m_entries = Entries{};
    m_loadedFrom.clear();
}

// Each wrapper calls through when bound; an unbound pointer means the library is not loaded.
void MorvelLibrary::taglib_set_strings_unicode(int unicode) const {
    if (m_entries.set_strings_unicode) {
        m_entries.set_strings_unicode(unicode);
    }
}

morvel_file* MorvelLibrary::taglib_file_newu(const char* path) const {
    return m_entries.file_newu ? m_entries.file_newu(path) : nullptr;
}

void MorvelLibrary::taglib_file_free(morvel_file* file) const {
    if (m_entries.file_free) {
        m_entries.file_free(file);
    }
}

int MorvelLibrary::taglib_file_is_valid(const morvel_file* file) const {
    return m_entries.file_is_valid ? m_entries.file_is_valid(file) : 0;
}

morvel_tag* MorvelLibrary::taglib_file_tag(const morvel_file* file) const {
    return m_entries.file_tag ? m_entries.file_tag(file) : nullptr;
}

const morvel_audioproperties* MorvelLibrary::taglib_file_audioproperties(const morvel_file* file) const {
    return m_entries.file_audioproperties ? m_entries.file_audioproperties(file) : nullptr;
}

int MorvelLibrary::taglib_file_save_ex(morvel_file* file, int mode) const {
    return m_entries.file_save_ex ? m_entries.file_save_ex(file, mode) : 0;
}

namespace {
const char* text(const char* (*getter)(const morvel_tag*), const morvel_tag* tag) {
    const char* value = getter ? getter(tag) : nullptr;
    return value ? value : "";
}
} // namespace

const char* MorvelLibrary::taglib_tag_title(const morvel_tag* tag) const {
    return text(m_entries.tag_title, tag);
}
const char* MorvelLibrary::taglib_tag_artist(const morvel_tag* tag) const {
    return text(m_entries.tag_artist, tag);
}
const char* MorvelLibrary::taglib_tag_album(const morvel_tag* tag) const {
    return text(m_entries.tag_album, tag);
}
const char* MorvelLibrary::taglib_tag_comment(const morvel_tag* tag) const {
    return text(m_entries.tag_comment, tag);
}
const char* MorvelLibrary::taglib_tag_genre(const morvel_tag* tag) const {
    return text(m_entries.tag_genre, tag);
}

unsigned int MorvelLibrary::taglib_tag_year(const morvel_tag* tag) const {
    return m_entries.tag_year ? m_entries.tag_year(tag) : 0;
}

unsigned int MorvelLibrary::taglib_tag_track(const morvel_tag* tag) const {
    return m_entries.tag_track ? m_entries.tag_track(tag) : 0;
}

namespace {
template <typename Setter, typename Value> bool set(Setter setter, morvel_tag* tag, Value value) {
    if (setter == nullptr) {
        return false;
    }
    setter(tag, value);
    return true;
}
} // namespace

bool MorvelLibrary::taglib_tag_set_title(morvel_tag* tag, const char* value) const {
    return set(m_entries.tag_set_title, tag, value);
}
bool MorvelLibrary::taglib_tag_set_artist(morvel_tag* tag, const char* value) const {
    return set(m_entries.tag_set_artist, tag, value);
}
bool MorvelLibrary::taglib_tag_set_album(morvel_tag* tag, const char* value) const {
    return set(m_entries.tag_set_album, tag, value);
}
bool MorvelLibrary::taglib_tag_set_comment(morvel_tag* tag, const char* value) const {
    return set(m_entries.tag_set_comment, tag, value);
}
bool MorvelLibrary::taglib_tag_set_genre(morvel_tag* tag, const char* value) const {
    return set(m_entries.tag_set_genre, tag, value);
}
bool MorvelLibrary::taglib_tag_set_year(morvel_tag* tag, unsigned int year) const {
    return set(m_entries.tag_set_year, tag, year);
}
bool MorvelLibrary::taglib_tag_set_track(morvel_tag* tag, unsigned int track) const {
    return set(m_entries.tag_set_track, tag, track);
}

void MorvelLibrary::taglib_tag_free_strings() const {
    if (m_entries.tag_free_strings) {
        m_entries.tag_free_strings();
    }
}

int MorvelLibrary::taglib_tag_remove(morvel_file* file) const {
    return m_entries.tag_remove ? m_entries.tag_remove(file) : 0;
}

int MorvelLibrary::taglib_tag_delete_allcovers(morvel_file* file) const {
    return m_entries.tag_delete_allcovers ? m_entries.tag_delete_allcovers(file) : 0;
}

int MorvelLibrary::taglib_tag_set_cover(morvel_file* file, int type, unsigned int size, const char* mime,
                                        const char* description, const void* data) const {
    return m_entries.tag_set_cover ? m_entries.tag_set_cover(file, type, size, mime, description, data) : 0;
}

int MorvelLibrary::taglib_audioproperties_length(const morvel_audioproperties* properties) const {
    return m_entries.audioproperties_length ? m_entries.audioproperties_length(properties) : 0;
}

} // namespace quimbrel
