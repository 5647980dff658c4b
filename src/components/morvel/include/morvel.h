/* libmorvel: reading and writing the tags and embedded pictures of audio files (MP3, Ogg Vorbis, FLAC, M4A,
 * WMA, WAV) as flat C functions over opaque handles. Every function accepts a null handle and then does
 * nothing (or returns 0). Texts are NUL-terminated UTF-8, the path included (the platform's own text).
 * A file handle and the tag and properties handles taken from it are used by one thread at a time and live
 * until taglib_file_free; different files are independent. No function throws. */
#ifndef MORVEL_H
#define MORVEL_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MORVEL_API __attribute__((visibility("default")))
#else
#define MORVEL_API
#endif

typedef struct morvel_file morvel_file;
typedef struct morvel_tag morvel_tag;
typedef struct morvel_audioproperties morvel_audioproperties;

/* Picture type of a front cover. */
enum { MORVEL_PICTURE_FRONT_COVER = 3 };

/* Non-zero (the initial state): texts are UTF-8. Zero: texts are Latin-1. Applies to the whole process. */
MORVEL_API void taglib_set_strings_unicode(int unicode);

/* Opens the audio file at path (UTF-8). Owned by the caller, released with taglib_file_free.
 * Null when the path is null, the file cannot be opened or its kind is not one the library handles. */
MORVEL_API morvel_file* taglib_file_newu(const char* path);
/* Closes the file; unsaved changes are dropped. */
MORVEL_API void taglib_file_free(morvel_file* file);
/* Non-zero when the file was parsed. */
MORVEL_API int taglib_file_is_valid(const morvel_file* file);
/* The file's tag, owned by the file; null for an invalid file. */
MORVEL_API morvel_tag* taglib_file_tag(const morvel_file* file);
/* The file's audio properties, owned by the file; null when unknown. */
MORVEL_API const morvel_audioproperties* taglib_file_audioproperties(const morvel_file* file);
/* Writes every change to disk; callers pass mode 3, other values save alike. MPEG files get an ID3v2.4 tag
 * (an ID3v1 or APE tag already there is updated too); a tag left empty is taken out of the file. Non-zero on
 * success, which means the file read again holds the texts and numbers as set; 0 for an invalid or read-only
 * file, a failed write, or a save that did not take. */
MORVEL_API int taglib_file_save_ex(morvel_file* file, int mode);

/* Text getters: never null (empty when absent or for a null tag); each text stays valid until
 * taglib_tag_free_strings. */
MORVEL_API const char* taglib_tag_title(const morvel_tag* tag);
MORVEL_API const char* taglib_tag_artist(const morvel_tag* tag);
MORVEL_API const char* taglib_tag_album(const morvel_tag* tag);
MORVEL_API const char* taglib_tag_comment(const morvel_tag* tag);
MORVEL_API const char* taglib_tag_genre(const morvel_tag* tag);
/* 0 when absent. */
MORVEL_API unsigned int taglib_tag_year(const morvel_tag* tag);
MORVEL_API unsigned int taglib_tag_track(const morvel_tag* tag);

/* Setters; a null or empty text clears the field, as does 0 for the numbers. Written by taglib_file_save_ex.
 */
MORVEL_API void taglib_tag_set_title(morvel_tag* tag, const char* title);
MORVEL_API void taglib_tag_set_artist(morvel_tag* tag, const char* artist);
MORVEL_API void taglib_tag_set_album(morvel_tag* tag, const char* album);
MORVEL_API void taglib_tag_set_comment(morvel_tag* tag, const char* comment);
MORVEL_API void taglib_tag_set_genre(morvel_tag* tag, const char* genre);
MORVEL_API void taglib_tag_set_year(morvel_tag* tag, unsigned int year);
MORVEL_API void taglib_tag_set_track(morvel_tag* tag, unsigned int track);

/* Releases every text the getters returned, in every thread. */
MORVEL_API void taglib_tag_free_strings(void);

/* Empties every tag of the file, pictures included; taglib_file_save_ex takes them out of the file.
 * Non-zero on success. */
MORVEL_API int taglib_tag_remove(morvel_file* file);
/* Removes every embedded picture (written by taglib_file_save_ex). Non-zero on success. */
MORVEL_API int taglib_tag_delete_allcovers(morvel_file* file);
/* Embeds one picture of `size` bytes at data, in the way the file's format stores pictures; type is 0 to 20
 * (the ID3v2 picture types), 3 being the front cover; mime and description may be null (then empty). Non-zero
 * on success; 0 for a null or empty picture. */
MORVEL_API int taglib_tag_set_cover(morvel_file* file, int type, unsigned int size, const char* mime,
                                    const char* description, const void* data);

/* Duration in whole seconds, 0 when unknown. */
MORVEL_API int taglib_audioproperties_length(const morvel_audioproperties* properties);

#ifdef __cplusplus
}
#endif

#endif
