// The recording state record: the flags and counters the block handler, the recording controller, the
// scheduler runtime and the main window share. Touched on the UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace quimbrel {

// What the volume knob, the pause button, the slider and the time display act on.
enum class RecorderMode { Record = 1, Playback = 2 };

// The status label; the value is the row of the recording controller's table of texts and colours.
enum class RecorderStatus { Ready = 0, Recording = 1, Scan = 2, Pause = 3, Play = 4 };

// Voice operation: arming, the silence being timed, and how a file it closes is cut or deleted.
struct VoxState {
    bool voxarmed = false; // the recording runs under voice activation
    double voxstart = 0.0; // day number: when the current voice-started file began
    bool silencerunning = false;
    double silencestart = 0.0;
    int silencesecs = 0;
    std::int64_t silencebytes = 0; // totalbytes when the silence began
    std::int64_t cutbytes = 0;     // where a VOX cut-off truncates the finished file
    bool voxcut = false;           // voice activation is closing this file on silence (cutbytes applies)
    bool deleteshort = false;      // the VOX file came out too short and is deleted when finished
};

// Splitting into parts of fixed length.
struct SplitState {
    int splitcount = 0; // part number of a split recording; 0 for the first part
};

// The scheduled event that started the running recording.
struct ScheduleState {
    bool scheduledrecording = false;
    int currentevent = -1;     // 1-based entry of the event that fired last
    std::string eventfilename; // name chosen by the event or the save dialog; empty = none
};

struct RecordingState {
    RecorderMode mode = RecorderMode::Record;
    bool writing = false;     // blocks are converted and written
    bool paused = false;      // the chain skips all recording work
    bool fileopen = false;    // a file was started for this recording
    bool stoprequest = false; // fullstop is due at the end of the next block
    std::string currentfile;  // full path of the file being (or last) recorded
    std::string lastfile;     // the last finished file, played by Play

    std::int64_t totalbytes = 0; // sum of WriteBlock results for the current file
    bool writerfailed = false;   // the writer reported -1: nothing more is written to this file

    double recordstart = 0.0;  // day number; kept across split parts
    double segmentstart = 0.0; // day number; moved forward by pauses
    double pausestart = 0.0;

    VoxState vox;
    SplitState split;
    ScheduleState schedule;

    RecorderStatus savedstatus = RecorderStatus::Ready;
    RecorderStatus statusindex = RecorderStatus::Ready;

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
