// The settings record's defaults and its document quimbrel.xml.
#include "state/config.h"

#include "ports/MessagePort.h"
#include "state/AtomicFile.h"
#include "state/XmlValues.h"

#include <cstdio>
#include <pugixml.hpp>

namespace quimbrel {

namespace {

const char* const kLoadError = "Error loading settings. Default settings will be restored";
const char* const kCaption = "quimbrel";

// Reads the attributes of one element; the first failure is kept and later reads do nothing.
class ElementReader {
public:
    ElementReader(pugi::xml_node root, const char* element, std::string& error)
        : m_node(root.child(element)), m_element(element), m_error(error) {}

    bool present() const { return static_cast<bool>(m_node); }

    void integer(const char* name, int& field, bool required = true) {
        const char* text = value(name, required);
        if (text && !parseInt32(text, field))
            bad(name, text);
    }
    void flag(const char* name, bool& field, bool required = true) {
        const char* text = value(name, required);
        if (text && !parseFlag(text, field))
            bad(name, text);
    }
    void text(const char* name, std::string& field, bool required = true) {
        if (const char* v = value(name, required))
            field = v;
    }
    void folder(const char* name, std::string& field) {
        text(name, field);
        if (!field.empty() && field.back() != '/')
            field += '/';
    }

private:
    const char* value(const char* name, bool required) {
        if (!m_node || !m_error.empty())
            return nullptr;
        const pugi::xml_attribute a = m_node.attribute(name);
        if (!a) {
            if (required)
                m_error = std::string("missing ") + m_element + "." + name;
            return nullptr;
        }
        return a.value();
    }
    void bad(const char* name, const char* text) {
        m_error = std::string("bad value of ") + m_element + "." + name + ": \"" + text + "\"";
    }

    pugi::xml_node m_node;
    const char* m_element;
    std::string& m_error;
};

std::string folderOfData(const config& cfg) {
    return cfg.datafolder.empty() ? dataFolder() : cfg.datafolder;
}

} // namespace

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

    const pugi::xml_node root = doc.child("Config");
    config c = cfg;
    {
        ElementReader e(root, "codec", failure);
        e.integer("index", c.codec.index);
        e.integer("mode", c.codec.mode);
        e.integer("rate", c.codec.rate);
        e.integer("bitrate", c.codec.bitrate);
        e.integer("bps", c.codec.bps);
    }
    {
        ElementReader e(root, "autoname", failure);
        e.flag("enabled", c.autoname.enabled);
        e.text("expression", c.autoname.expression, false);
        e.integer("number", c.autoname.number, false);
    }
    {
        ElementReader e(root, "card", failure);
        e.integer("index", c.card.index);
        e.integer("playback", c.card.playback, false);
    }
    ElementReader(root, "archive", failure).folder("dir", c.archive.dir);
    ElementReader(root, "path", failure).folder("dir", c.path.dir);
    ElementReader(root, "stayontop", failure).flag("enabled", c.stayontop.enabled);
    ElementReader(root, "startup", failure).flag("enabled", c.startup.enabled);
    ElementReader(root, "minstartup", failure).flag("enabled", c.minstartup.enabled);
    ElementReader(root, "runtagger", failure).flag("enabled", c.runtagger.enabled, false);
    ElementReader(root, "display", failure).integer("index", c.display.index);
    ElementReader(root, "pauserecord", failure).flag("enabled", c.pauserecord.enabled);
    ElementReader(root, "hotkeys", failure).flag("enabled", c.hotkeys.enabled);
    // scheduler.numevents is not read: events.xml holds the count.
    ElementReader(root, "scheduler", failure).flag("enabled", c.scheduler.enabled);
    {
        // vox.autodelete and vox.deletetime are not read: the autodelete element holds them.
        ElementReader e(root, "vox", failure);
        e.flag("enabled", c.vox.enabled);
        e.flag("cutoff", c.vox.cutoff, false);
        e.integer("threshold", c.vox.threshold);
        e.integer("silence", c.vox.silence);
        e.integer("action", c.vox.action);
    }
    {
        ElementReader e(root, "autodelete", failure);
        e.flag("enabled", c.autodelete.enabled);
        e.integer("deletetime", c.autodelete.deletetime);
    }
    {
        ElementReader e(root, "current", failure);
        e.integer("rate", c.current.rate);
        e.integer("mode", c.current.mode);
    }
    {
        ElementReader e(root, "agc", failure);
        e.flag("enabled", c.agc.enabled);
        e.integer("mode", c.agc.mode);
        e.integer("level", c.agc.level);
    }
    {
        ElementReader e(root, "mixer", failure);
        e.integer("playback", c.mixer.playback);
        e.integer("record", c.mixer.record);
        e.integer("line", c.mixer.line);
    }
    for (auto [name, filter] : {std::pair{"highpass", &c.highpass}, std::pair{"lowpass", &c.lowpass},
                                std::pair{"notch", &c.notch}}) {
        ElementReader e(root, name, failure);
        e.flag("enabled", filter->enabled);
        e.integer("frequency", filter->frequency);
    }
    {
        ElementReader e(root, "splitter", failure);
        e.flag("enabled", c.splitter.enabled);
        e.integer("timelimit", c.splitter.timelimit);
    }
    {
        ElementReader e(root, "autostop", failure);
        e.flag("enabled", c.autostop.enabled);
        e.integer("timelimit", c.autostop.timelimit);
    }
    ElementReader(root, "autoupdates", failure).flag("enabled", c.autoupdates.enabled);
    {
        ElementReader e(root, "position", failure);
        e.integer("x", c.position.x);
        e.integer("y", c.position.y);
    }
    ElementReader(root, "confirmations", failure).flag("ask", c.confirmations.ask);

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
    auto element = [&](const char* name) { return root.append_child(name); };
    auto integer = [](pugi::xml_node n, const char* name, int v) { n.append_attribute(name) = v; };
    auto flag = [](pugi::xml_node n, const char* name, bool v) { n.append_attribute(name) = flagText(v); };
    auto text = [](pugi::xml_node n, const char* name, const std::string& v) {
        n.append_attribute(name) = v.c_str();
    };

    pugi::xml_node n = element("codec");
    integer(n, "index", cfg.codec.index);
    integer(n, "mode", cfg.codec.mode);
    integer(n, "rate", cfg.codec.rate);
    integer(n, "bitrate", cfg.codec.bitrate);
    integer(n, "bps", cfg.codec.bps);
    n = element("autoname");
    flag(n, "enabled", cfg.autoname.enabled);
    text(n, "expression", cfg.autoname.expression);
    integer(n, "number", cfg.autoname.number);
    n = element("card");
    integer(n, "index", cfg.card.index);
    integer(n, "playback", cfg.card.playback);
    text(element("archive"), "dir", cfg.archive.dir);
    text(element("path"), "dir", cfg.path.dir);
    flag(element("stayontop"), "enabled", cfg.stayontop.enabled);
    flag(element("startup"), "enabled", cfg.startup.enabled);
    flag(element("minstartup"), "enabled", cfg.minstartup.enabled);
    flag(element("runtagger"), "enabled", cfg.runtagger.enabled);
    integer(element("display"), "index", cfg.display.index);
    flag(element("pauserecord"), "enabled", cfg.pauserecord.enabled);
    flag(element("hotkeys"), "enabled", cfg.hotkeys.enabled);
    n = element("scheduler");
    flag(n, "enabled", cfg.scheduler.enabled);
    integer(n, "numevents", cfg.scheduler.numevents);
    n = element("vox");
    flag(n, "enabled", cfg.vox.enabled);
    flag(n, "cutoff", cfg.vox.cutoff);
    integer(n, "threshold", cfg.vox.threshold);
    integer(n, "silence", cfg.vox.silence);
    integer(n, "action", cfg.vox.action);
    flag(n, "autodelete", cfg.autodelete.enabled);
    integer(n, "deletetime", cfg.autodelete.deletetime);
    n = element("autodelete");
    flag(n, "enabled", cfg.autodelete.enabled);
    integer(n, "deletetime", cfg.autodelete.deletetime);
    n = element("current");
    integer(n, "rate", cfg.current.rate);
    integer(n, "mode", cfg.current.mode);
    n = element("agc");
    flag(n, "enabled", cfg.agc.enabled);
    integer(n, "mode", cfg.agc.mode);
    integer(n, "level", cfg.agc.level);
    n = element("mixer");
    integer(n, "playback", cfg.mixer.playback);
    integer(n, "record", cfg.mixer.record);
    integer(n, "line", cfg.mixer.line);
    for (auto [name, filter] : {std::pair{"highpass", &cfg.highpass}, std::pair{"lowpass", &cfg.lowpass},
                                std::pair{"notch", &cfg.notch}}) {
        n = element(name);
        flag(n, "enabled", filter->enabled);
        integer(n, "frequency", filter->frequency);
    }
    n = element("splitter");
    flag(n, "enabled", cfg.splitter.enabled);
    integer(n, "timelimit", cfg.splitter.timelimit);
    n = element("autostop");
    flag(n, "enabled", cfg.autostop.enabled);
    integer(n, "timelimit", cfg.autostop.timelimit);
    flag(element("autoupdates"), "enabled", cfg.autoupdates.enabled);
    n = element("position");
    integer(n, "x", cfg.position.x);
    integer(n, "y", cfg.position.y);
    flag(element("confirmations"), "ask", cfg.confirmations.ask);

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
