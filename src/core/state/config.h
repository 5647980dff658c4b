// The settings record `config`, its document quimbrel.xml, and the per-user places the recorder keeps things
// in.
#pragma once

#include <string>

namespace quimbrel {

class MessagePort;

// Every setting of the recorder. A setting is named element.attribute after its place in quimbrel.xml, and so
// is its field here (cfg.vox.threshold). Each stored setting is declared once, with its type, default and
// whether a document must hold it, in the settings table of config.cpp; the constructor gives every field its
// default from there. defaultconfig also fills the folders and the tagger path, which depend on the machine.
// Folders always end with '/'.
struct config {
    config();

    struct Codec {
        int index;   // 0 MP3, 1 Ogg Vorbis, 2 WMA, 3 WAV, 4 FLAC, 5 M4A
        int mode;    // position in the format's mode list
        int rate;    // position in the format's sample-rate list
        int bitrate; // position in the format's bit-rate list
        int bps;     // position in the format's sample-size list
        bool operator==(const Codec&) const = default;
    } codec;
    struct Autoname {
        bool enabled;
        std::string expression;
        int number;
        bool operator==(const Autoname&) const = default;
    } autoname;
    struct Card {
        int index;
        int playback; // -1: the system's default playback device
        bool operator==(const Card&) const = default;
    } card;
    struct Archive {
        std::string dir; // the output folder; the user's music folder by default
        bool operator==(const Archive&) const = default;
    } archive;
    struct Path {
        std::string dir; // the program's data folder (help file, fallback output folder)
        bool operator==(const Path&) const = default;
    } path;
    struct Switch {
        bool enabled;
        bool operator==(const Switch&) const = default;
    };
    Switch stayontop;
    Switch startup;
    Switch minstartup;
    Switch runtagger;
    struct Display {
        int index;
        bool operator==(const Display&) const = default;
    } display;
    Switch pauserecord;
    Switch hotkeys; // enabled means the hot keys are switched OFF
    struct Scheduler {
        bool enabled;
        int numevents; // written for information; events.xml holds the count that counts
        bool operator==(const Scheduler&) const = default;
    } scheduler;
    struct Vox {
        bool enabled;
        bool cutoff;
        int threshold;   // 1..32768 on the 16-bit scale
        int silence;     // seconds
        int action;      // 1 pause and continue, 2 new track
        bool autodelete; // written as a copy of autodelete.enabled, never read
        int deletetime;  // written as a copy of autodelete.deletetime, never read
        bool operator==(const Vox&) const = default;
    } vox;
    struct Autodelete {
        bool enabled;
        int deletetime; // seconds
        bool operator==(const Autodelete&) const = default;
    } autodelete;
    struct Current {
        int rate;
        int mode; // channels
        bool operator==(const Current&) const = default;
    } current;
    struct Agc {
        bool enabled;
        int mode; // 5 aggressive, 3 normal, 1 smooth
        int level;
        bool operator==(const Agc&) const = default;
    } agc;
    struct Mixer {
        int playback;
        int record;
        int line; // -1: the line's default
        bool operator==(const Mixer&) const = default;
    } mixer;
    struct Filter {
        bool enabled;
        int frequency; // 1/10000 of half the capture rate
        bool operator==(const Filter&) const = default;
    };
    Filter highpass;
    Filter lowpass;
    Filter notch;
    struct Limit {
        bool enabled;
        int timelimit; // seconds
        bool operator==(const Limit&) const = default;
    };
    Limit splitter;
    Limit autostop;
    Switch autoupdates;
    struct Position {
        int x; // -1 and -1: centred
        int y;
        bool operator==(const Position&) const = default;
    } position;
    struct Confirmations {
        bool ask;
        bool operator==(const Confirmations&) const = default;
    } confirmations;

    // Run-time values, never stored.
    std::string datafolder; // with a closing '/'
    std::string taggerpath; // full path of the tagger program
    int numoffset = 0;      // NUM values used since the program started
    bool runonly = false;   // changed for this run only (command-line options): saveconfig keeps quimbrel.xml

    bool operator==(const config&) const = default;
};

// Sets every field to its default: path.dir the program's folder, archive.dir the music folder, taggerpath
// from taggerfolder(). datafolder is left as it is.
void defaultconfig(config& cfg);

// Creates the data folder (with parents) and fills cfg from <datafolder>/<fileName>. A missing file leaves
// the defaults silently. A file that cannot be read is reported ("Error loading settings. Default settings
// will be restored"), moved aside as <fileName>.bad, and the defaults stand. Returns false only in that case.
bool loadconfig(config& cfg, MessagePort& port, const std::string& fileName = "quimbrel.xml");

// Writes cfg to <datafolder>/quimbrel.xml, replaced atomically; a record marked runonly leaves the file as it
// is. A file that cannot be written keeps its old contents, is reported through the port, and makes the
// result false. The event table and the name list are saved by their owner beside it.
bool saveconfig(const config& cfg, MessagePort& port);
// Shows "The settings could not be saved." with the reason, as every document's save failure is shown.
void reportsavefailure(MessagePort& port, const std::string& error);

// The document alone, for callers that keep their own paths (tests, tools). readConfigFile leaves cfg
// untouched on failure and puts the reason into *error.
bool readConfigFile(const std::string& path, config& cfg, std::string* error = nullptr);
bool writeConfigFile(const std::string& path, const config& cfg, std::string* error = nullptr);

// Run at logon: the autostart entry $XDG_CONFIG_HOME/autostart/quimbrel.desktop whose Exec= is the running
// program. getrunatlogon is true when the entry exists with a non-empty Exec=.
bool getrunatlogon();
bool setrunatlogon(bool on);

// The tagger's folder: key Path of group [Settings] in $XDG_CONFIG_HOME/Selvane/Ombrik.conf, with a closing
// '/'; empty when the file or the key is missing.
std::string taggerfolder();
// The full path of the tagger program: taggerfolder() + "ombrikw", or the running program's folder +
// "ombrikw" when the tagger's settings name no folder.
std::string taggerprogram();

// Folder look-ups; each result ends with '/'.
std::string configHome();    // $XDG_CONFIG_HOME, else $HOME/.config
std::string dataFolder();    // configHome() + "Tarvolt/quimbrel/"
std::string musicFolder();   // XDG_MUSIC_DIR from user-dirs.dirs, else $HOME/Music
std::string programFolder(); // the folder of /proc/self/exe
std::string programPath();   // /proc/self/exe resolved
// The folder of the files the programs read beside themselves (help file, icon font):
// <prefix>/share/quimbrel/ when the program runs from <prefix>/bin and that folder exists, else the program's
// own folder (a build tree).
std::string programDataFolder();

} // namespace quimbrel
