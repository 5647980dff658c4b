// Automatic file naming: template expansion, the running number, and the list of remembered templates
// names.xml.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quimbrel {

class MessagePort;
struct config;

// Expands the template at the local moment `when` (a day number). Tokens, replaced one after the other in
// this order: YY MM DD YS MN DW HH NN SS NUM EVENT. Month and day names come from the calling thread's
// LC_TIME. Adds no folder or extension and checks no characters.
std::string expandtemplate(std::string_view tmpl, std::string_view eventname, long long number, double when);
// The same at the current local time.
std::string expandtemplate(std::string_view tmpl, std::string_view eventname, long long number);

// The base name for a new recording from cfg.autoname: the template expanded with the event name and the
// number autoname.number + numoffset. When usesNum is true the caller adds 1 to cfg.numoffset (and takes it
// back when the track is deleted as too short).
struct AutoName {
    std::string baseName;
    long long number = 0;
    bool usesNum = false;
};
AutoName autoNameFor(const config& cfg, std::string_view eventname, double when);
AutoName autoNameFor(const config& cfg, std::string_view eventname);

// True when the text holds any of \ / : * ? " < > |
bool hasillegalchars(std::string_view text);

// Appends the file's entries to list. A missing file is not an error. A file that cannot be read shows "Can't
// Load Naming Rules", keeps what was read before the fault and returns false.
bool readnamesfile(const std::string& path, std::vector<std::string>& list, MessagePort& port);

// Writes list; the file is replaced atomically. On failure the old file stays and *error says why.
bool writenamesfile(const std::string& path, const std::vector<std::string>& list,
                    std::string* error = nullptr);

} // namespace quimbrel
