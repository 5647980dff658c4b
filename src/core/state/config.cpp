// The settings record's defaults and its document quimbrel.xml.
#include "state/config.h"

#include "ports/MessagePort.h"
#include "state/AtomicFile.h"
#include "state/XmlValues.h"

#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <variant>

namespace quimbrel {

namespace {

const char* const kLoadError = "Error loading settings. Default settings will be restored";
const char* const kCaption = "quimbrel";

enum class SettingType { None, Integer, Flag, Text, Folder };

enum class Presence {
    None,
    Required, // a document whose element is there must hold the attribute
    Optional, // older documents lack it: the value stays as it was
    Written,  // written for information, never read
    Copy,     // written from another setting's field, never read, no default of its own
};

// One stored setting. The member is reached through a function so nested fields (cfg.vox.threshold) can be
// named; its pointer type must match the type: int for Integer, bool for Flag, std::string for Text and
// Folder.
struct Setting {
    const char* element;
    const char* attribute;
    SettingType type;
    const char* fallback; // the default, as the document writes it
    Presence presence;
    std::variant<int* (*)(config&), bool* (*)(config&), std::string* (*)(config&)> member;
};

using enum SettingType;
constexpr Presence Required = Presence::Required;
constexpr Presence Optional = Presence::Optional;
constexpr Presence Written = Presence::Written;
constexpr Presence Copy = Presence::Copy;

// Every stored setting, in the order of the document. Walked by the constructor (defaults), the reader and
// the writer. The folders' defaults depend on the machine and come from defaultconfig.
const Setting kSettings[] = {
    {"codec", "index", Integer, "0", Required, [](config& c) { return &c.codec.index; }},
    {"codec", "mode", Integer, "0", Required, [](config& c) { return &c.codec.mode; }},
    {"codec", "rate", Integer, "1", Required, [](config& c) { return &c.codec.rate; }},
    {"codec", "bitrate", Integer, "5", Required, [](config& c) { return &c.codec.bitrate; }},
    {"codec", "bps", Integer, "0", Required, [](config& c) { return &c.codec.bps; }},
    {"autoname", "enabled", Flag, "1", Required, [](config& c) { return &c.autoname.enabled; }},
    {"autoname", "expression", Text, "YY-MM-DD-HH-NN-SS", Optional,
     [](config& c) { return &c.autoname.expression; }},
    {"autoname", "number", Integer, "100", Optional, [](config& c) { return &c.autoname.number; }},
    {"card", "index", Integer, "0", Required, [](config& c) { return &c.card.index; }},
    {"card", "playback", Integer, "-1", Optional, [](config& c) { return &c.card.playback; }},
    {"archive", "dir", Folder, "", Required, [](config& c) { return &c.archive.dir; }},
    {"path", "dir", Folder, "", Required, [](config& c) { return &c.path.dir; }},
    {"stayontop", "enabled", Flag, "0", Required, [](config& c) { return &c.stayontop.enabled; }},
    {"startup", "enabled", Flag, "0", Required, [](config& c) { return &c.startup.enabled; }},
    {"minstartup", "enabled", Flag, "0", Required, [](config& c) { return &c.minstartup.enabled; }},
    {"runtagger", "enabled", Flag, "1", Optional, [](config& c) { return &c.runtagger.enabled; }},
    {"display", "index", Integer, "2", Required, [](config& c) { return &c.display.index; }},
    {"pauserecord", "enabled", Flag, "0", Required, [](config& c) { return &c.pauserecord.enabled; }},
    {"hotkeys", "enabled", Flag, "0", Required, [](config& c) { return &c.hotkeys.enabled; }},
    {"scheduler", "enabled", Flag, "0", Required, [](config& c) { return &c.scheduler.enabled; }},
    // events.xml holds the count that counts.
    {"scheduler", "numevents", Integer, "0", Written, [](config& c) { return &c.scheduler.numevents; }},
    {"vox", "enabled", Flag, "0", Required, [](config& c) { return &c.vox.enabled; }},
    {"vox", "cutoff", Flag, "0", Optional, [](config& c) { return &c.vox.cutoff; }},
    {"vox", "threshold", Integer, "1635", Required, [](config& c) { return &c.vox.threshold; }},
    {"vox", "silence", Integer, "2", Required, [](config& c) { return &c.vox.silence; }},
    {"vox", "action", Integer, "1", Required, [](config& c) { return &c.vox.action; }},
    // The autodelete element holds these two; the vox element carries copies for older readers.
    {"vox", "autodelete", Flag, "", Copy, [](config& c) { return &c.autodelete.enabled; }},
    {"vox", "deletetime", Integer, "", Copy, [](config& c) { return &c.autodelete.deletetime; }},
    {"autodelete", "enabled", Flag, "0", Required, [](config& c) { return &c.autodelete.enabled; }},
    {"autodelete", "deletetime", Integer, "1", Required, [](config& c) { return &c.autodelete.deletetime; }},
    {"current", "rate", Integer, "44100", Required, [](config& c) { return &c.current.rate; }},
    {"current", "mode", Integer, "2", Required, [](config& c) { return &c.current.mode; }},
    {"agc", "enabled", Flag, "0", Required, [](config& c) { return &c.agc.enabled; }},
    {"agc", "mode", Integer, "3", Required, [](config& c) { return &c.agc.mode; }},
    {"agc", "level", Integer, "0", Required, [](config& c) { return &c.agc.level; }},
    {"mixer", "playback", Integer, "70", Required, [](config& c) { return &c.mixer.playback; }},
    {"mixer", "record", Integer, "99", Required, [](config& c) { return &c.mixer.record; }},
    {"mixer", "line", Integer, "-1", Required, [](config& c) { return &c.mixer.line; }},
    {"highpass", "enabled", Flag, "0", Required, [](config& c) { return &c.highpass.enabled; }},
    {"highpass", "frequency", Integer, "20", Required, [](config& c) { return &c.highpass.frequency; }},
    {"lowpass", "enabled", Flag, "0", Required, [](config& c) { return &c.lowpass.enabled; }},
    {"lowpass", "frequency", Integer, "8000", Required, [](config& c) { return &c.lowpass.frequency; }},
    {"notch", "enabled", Flag, "0", Required, [](config& c) { return &c.notch.enabled; }},
    {"notch", "frequency", Integer, "100", Required, [](config& c) { return &c.notch.frequency; }},
    {"splitter", "enabled", Flag, "0", Required, [](config& c) { return &c.splitter.enabled; }},
    {"splitter", "timelimit", Integer, "600", Required, [](config& c) { return &c.splitter.timelimit; }},
    {"autostop", "enabled", Flag, "0", Required, [](config& c) { return &c.autostop.enabled; }},
    {"autostop", "timelimit", Integer, "600", Required, [](config& c) { return &c.autostop.timelimit; }},
    {"autoupdates", "enabled", Flag, "1", Required, [](config& c) { return &c.autoupdates.enabled; }},
    {"position", "x", Integer, "-1", Required, [](config& c) { return &c.position.x; }},
    {"position", "y", Integer, "-1", Required, [](config& c) { return &c.position.y; }},
    {"confirmations", "ask", Flag, "1", Required, [](config& c) { return &c.confirmations.ask; }},
};

// Stores the document's text of one setting into its field; false when the text is not a value of its type.
bool assign(const Setting& s, config& c, const char* text) {
    switch (s.type) {
    case Integer:
        return parseInt32(text, *std::get<int* (*)(config&)>(s.member)(c));
    case Flag:
        return parseFlag(text, *std::get<bool* (*)(config&)>(s.member)(c));
    case Text:
        *std::get<std::string* (*)(config&)>(s.member)(c) = text;
        return true;
    case Folder: {
        std::string& field = *std::get<std::string* (*)(config&)>(s.member)(c);
        field = text;
        if (!field.empty() && field.back() != '/')
            field += '/';
        return true;
    }
    case None:
        break;
    }
    return false;
}

void store(const Setting& s, config& c, pugi::xml_node element) {
    pugi::xml_attribute a = element.append_attribute(s.attribute);
    switch (s.type) {
    case Integer:
        a = *std::get<int* (*)(config&)>(s.member)(c);
        break;
    case Flag:
        a = flagText(*std::get<bool* (*)(config&)>(s.member)(c));
        break;
    case Text:
    case Folder:
        a = std::get<std::string* (*)(config&)>(s.member)(c)->c_str();
        break;
    case None:
        break;
    }
}

// Fills c from the Config element. A missing element leaves its settings as they were; a missing required
// attribute of a present element, or a value that is not of its type, is the failure named in the result.
std::string readSettings(pugi::xml_node root, config& c) {
    for (const Setting& s : kSettings) {
        if (s.presence == Written || s.presence == Copy)
            continue;
        const pugi::xml_node element = root.child(s.element);
        if (!element)
            continue;
        const pugi::xml_attribute a = element.attribute(s.attribute);
        if (!a) {
            if (s.presence == Required)
                return std::string("missing ") + s.element + "." + s.attribute;
            continue;
        }
        if (!assign(s, c, a.value()))
            return std::string("bad value of ") + s.element + "." + s.attribute + ": \"" + a.value() + "\"";
    }
    return {};
}

std::string folderOfData(const config& cfg) {
    return cfg.datafolder.empty() ? dataFolder() : cfg.datafolder;
}

} // namespace

config::config() {
    for (const Setting& s : kSettings)
        if (s.presence != Copy)
            assign(s, *this, s.fallback);
    vox.autodelete = autodelete.enabled;
    vox.deletetime = autodelete.deletetime;
}

void defaultconfig(config& cfg) {
    const std::string datafolder = cfg.datafolder;
    cfg = config{};
    cfg.datafolder = datafolder;
    cfg.archive.dir = musicFolder();
    cfg.path.dir = programDataFolder();
    cfg.taggerpath = taggerprogram();
    cfg.vox.autodelete = cfg.autodelete.enabled;
    cfg.vox.deletetime = cfg.autodelete.deletetime;
}

bool readConfigFile(const std::string& path, config& cfg, std::string* error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    std::string failure;
    if (!parsed) {
        failure = std::string("XML: ") + parsed.description();
    } else if (!doc.child("Config")) {
        failure = "no Config element";
    }
    if (!failure.empty()) {
        if (error)
            *error = failure;
        return false;
    }

    config c = cfg;
    failure = readSettings(doc.child("Config"), c);
    if (!failure.empty()) {
        if (error)
            *error = failure;
        return false;
    }

    // Read-time corrections of values older versions stored on other scales.
    if (c.vox.threshold == 0)
        c.vox.threshold = 1;
    if (c.agc.mode > 100)
        c.agc.mode /= 100;
    if (c.mixer.record > 100)
        c.mixer.record /= 655;
    c.vox.autodelete = c.autodelete.enabled;
    c.vox.deletetime = c.autodelete.deletetime;
    c.numoffset = 0;
    cfg = c;
    return true;
}

bool writeConfigFile(const std::string& path, const config& cfg, std::string* error) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Config");
    pugi::xml_node element;
    // The table reaches fields through a writable record.
    config c = cfg;
    for (const Setting& s : kSettings) {
        if (!element || std::strcmp(element.name(), s.element) != 0)
            element = root.append_child(s.element);
        store(s, c, element);
    }
    return replaceFileAtomically(path, documentText(doc), error);
}

bool loadconfig(config& cfg, MessagePort& port, const std::string& fileName) {
    cfg.datafolder = dataFolder();
    makeFolders(cfg.datafolder);
    const std::string path = cfg.datafolder + fileName;
    const bool exists = fileExists(path);
    defaultconfig(cfg);
    if (!exists)
        return true;
    if (readConfigFile(path, cfg))
        return true;
    port.show(kLoadError, kCaption, MessageIcon::Information, MessageButtons::Ok);
    // Keep the unreadable document for inspection instead of deleting it; the next save writes a fresh one.
    const std::string bad = path + ".bad";
    if (std::rename(path.c_str(), bad.c_str()) != 0)
        std::remove(path.c_str());
    defaultconfig(cfg);
    return false;
}

bool saveconfig(const config& cfg, MessagePort& port) {
    const std::string folder = folderOfData(cfg);
    if (!makeFolders(folder)) {
        reportsavefailure(port, "Cannot create the folder " + folder);
        return false;
    }
    std::string error;
    if (!cfg.runonly && !writeConfigFile(folder + "quimbrel.xml", cfg, &error)) {
        reportsavefailure(port, error);
        return false;
    }
    return true;
}

void reportsavefailure(MessagePort& port, const std::string& error) {
    port.show("The settings could not be saved.\n" + error, kCaption, MessageIcon::Error, MessageButtons::Ok);
}

} // namespace quimbrel
