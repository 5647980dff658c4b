// The event table and its document events.xml.
#include "state/recevent.h"

#include "ports/MessagePort.h"
#include "state/AtomicFile.h"
#include "state/XmlValues.h"
#include "state/config.h"
#include "state/daynumber.h"

#include <cstdlib>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace quimbrel {

namespace {

const char* const kCaption = "quimbrel";

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos)
            return false;
        dirs.remove_prefix(colon + 1);
    }
}

// Reads one event element; false on the first attribute that is missing or cannot be converted.
bool readEvent(pugi::xml_node node, int referenceYear, const std::string& browser, recevent& ev) {
    auto text = [&](const char* name, std::string& field) {
        const pugi::xml_attribute a = node.attribute(name);
        if (!a)
            return false;
        field = a.value();
        return true;
    };
    auto flag = [&](const char* name, bool& field) {
        const pugi::xml_attribute a = node.attribute(name);
        return a && parseFlag(a.value(), field);
    };
    auto time = [&](const char* name, double& field) {
        const pugi::xml_attribute a = node.attribute(name);
        return a && parseTime(a.value(), field);
    };
    auto date = [&](const char* name, double& field) {
        const pugi::xml_attribute a = node.attribute(name);
        return a && parseDate(a.value(), referenceYear, field);
    };

    recevent e;
    const pugi::xml_attribute repeat = node.attribute("repeat");
    if (!text("name", e.name) || !time("starttime", e.starttime) || !time("stoptime", e.stoptime) ||
        !date("startdate", e.startdate) || !date("stopdate", e.stopdate) || !repeat ||
        !parseInt32(repeat.value(), e.repeat))
        return false;
    if (e.repeat == 1) {
        e.startdate += e.starttime;
        e.stopdate += e.stoptime;
    }
    if (e.repeat == 0) {
        for (int d = 1; d <= 7; ++d) {
            bool on = false;
            if (!flag(("day" + std::to_string(d)).c_str(), on))
                return false;
            e.day[static_cast<std::size_t>(d)] = on;
        }
    } else if (e.repeat == 2) {
        for (int d = 1; d <= 7; ++d)
            e.day[static_cast<std::size_t>(d)] = true;
    }
    if (!flag("cancelled", e.cancelled) || !flag("nextday", e.nextday) || !text("filename", e.filename) ||
        !text("URL", e.URL))
        return false;
    if (!text("Appname", e.Appname))
        e.Appname = browser;
    if (node.attribute("Task") && !flag("Task", e.Task))
        return false;
    e.Enabled = true;
    if (node.attribute("Enabled") && !flag("Enabled", e.Enabled))
        return false;
    ev = std::move(e);
    return true;
}

} // namespace

std::string defaultbrowser() {
    return onPath("xdg-open") ? "xdg-open" : "";
}

bool readeventsfile(const std::string& path, eventtable& table, config& cfg, MessagePort& port) {
    table.clear();
    cfg.scheduler.numevents = 0;
    if (!fileExists(path))
        return true;
    auto fail = [&] {
        cfg.scheduler.numevents = static_cast<int>(table.size());
        port.show("Can't Load Scheduler Data", kCaption, MessageIcon::Information, MessageButtons::Ok);
        return false;
    };

    pugi::xml_document doc;
    if (!doc.load_file(path.c_str()))
        return fail();
    const pugi::xml_node root = doc.child("Scheduler");
    const pugi::xml_attribute count = root.child("events").attribute("number");
    int number = 0;
    if (!count || !parseInt32(count.value(), number) || number < 0 || number > kMaxEventCount)
        return fail();

    // Every entry up to the count exists; one without its element stays blank and disabled.
    table.resize(static_cast<std::size_t>(number));
    std::unordered_map<std::string_view, pugi::xml_node> children;
    for (pugi::xml_node child : root.children())
        children.emplace(child.name(), child);
    const int year = currentYear();
    const std::string browser = defaultbrowser();
    for (int i = 1; i <= number; ++i) {
        const auto found = children.find("event" + std::to_string(i));
        if (found == children.end())
            continue;
        if (!readEvent(found->second, year, browser, table[static_cast<std::size_t>(i - 1)]))
            return fail();
    }
    cfg.scheduler.numevents = number;
    return true;
}

bool writeeventsfile(const std::string& path, const eventtable& table, std::string* error) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Scheduler");
    root.append_child("events").append_attribute("number") = static_cast<long long>(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const recevent& e = table[i];
        pugi::xml_node n = root.append_child(("event" + std::to_string(i + 1)).c_str());
        n.append_attribute("name") = e.name.c_str();
        n.append_attribute("starttime") = formatTime(e.starttime).c_str();
        n.append_attribute("stoptime") = formatTime(e.stoptime).c_str();
        n.append_attribute("startdate") = formatDate(e.startdate).c_str();
        n.append_attribute("stopdate") = formatDate(e.stopdate).c_str();
        n.append_attribute("repeat") = e.repeat;
        if (e.repeat == 0) {
            for (int d = 1; d <= 7; ++d)
                n.append_attribute(("day" + std::to_string(d)).c_str()) =
                    e.day[static_cast<std::size_t>(d)] ? "true" : "false";
        }
        n.append_attribute("cancelled") = flagText(e.cancelled);
        n.append_attribute("nextday") = flagText(e.nextday);
        n.append_attribute("filename") = e.filename.c_str();
        n.append_attribute("URL") = e.URL.c_str();
        n.append_attribute("Appname") = e.Appname.c_str();
        n.append_attribute("Task") = flagText(e.Task);
        n.append_attribute("Enabled") = flagText(e.Enabled);
    }
    return replaceFileAtomically(path, documentText(doc), error);
}

} // namespace quimbrel
