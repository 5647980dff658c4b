// The recording state record: the flags and counters the block handler, the recording controller, the
// scheduler runtime and the main window share. Touched on the UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace quimbrel {

// Status label indices for ShowStatus.
inline constexpr int kStatusReady = 0;
inline constexpr int kStatusRecording = 1;
inline constexpr int kStatusScan = 2;
inline constexpr int kStatusPause = 3;
inline constexpr int kStatusPlay = 4;

// Values of `mode`.
inline constexpr int kModeRecord = 1;
inline constexpr int kModePlayback = 2;

struct RecordingState {
    int mode = kModeRecord;   // 1 record mode, 2 playback mode
    bool writing = false;     // blocks are converted and written
    bool paused = false;      // the chain skips all recording work
    bool fileopen = false;    // a file was started for this recording
    bool voxarmed = false;    // the recording runs under voice activation
    bool stoprequest = false; // fullstop is due at the end of the next block
    bool scheduledrecording = false;
    int currentevent = -1;     // 1-based entry of the event that fired last
    std::string eventfilename; // name chosen by the event or the save dialog; empty = none
    std::string currentfile;   // full path of the file being (or last) recorded
    std::string lastfile;      // the last finished file, played by Play

    std::int64_t totalbytes = 0; // sum of WriteBlock results for the current file
    std::int64_t silencebytes = 0;
    std::int64_t cutbytes = 0; // where a VOX cut-off truncates the finished file
    bool deleteshort = false;  // the VOX file came out too short and is deleted when finished
    bool writerfailed = false; // the writer reported -1: nothing more is written to this file
    bool voxcut = false;       // voice activation is closing this file on silence (cutbytes applies)

    int splitcount = 0;        // part number of a split recording; 0 for the first part
    double recordstart = 0.0;  // day number; kept across split parts
    double segmentstart = 0.0; // day number; moved forward by pauses
    double pausestart = 0.0;
    double voxstart = 0.0;
    bool silencerunning = false;
    double silencestart = 0.0;
    int silencesecs = 0;

    int savedstatus = kStatusReady;
    int statusindex = kStatusReady;

    // The enabled state of the main window's buttons, kept here so the rules that depend on it hold without a
    // window.
    bool recordEnabled = true;
    bool stopEnabled = false;
    bool pauseEnabled = false;
    bool playEnabled = true;
    bool libraryEnabled = true;
    int knob = 50; // volume knob position 1..100
};

// Whole seconds between two day numbers: the absolute difference in milliseconds divided by 1000, truncated.
int elapsedseconds(double from, double to);

} // namespace quimbrel
