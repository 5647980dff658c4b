// The recording controller: Record, Stop and Pause, file naming, writer creation and finished files.
#include "recording/RecordingController.h"

#include "encoder/CodecTable.h"
#include "ports/Clock.h"
#include "ports/MessagePort.h"
#include "recording/RecorderContext.h"
#include "recording/RecordingSource.h"
#include "state/config.h"
#include "state/names.h"
#include "state/recordingsdb.h"
#include "state/safename.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace quimbrel {

namespace {

constexpr const char* kNoFolder = "The output folder for audio files does not exist.\n"
                                  "Please open Settings->General and change the Audio Output Folder.";
constexpr const char* kNoSource =
    "Current recording source is not available.\n"
    "Please open Settings->Mixer and change the recording device or recording source.";

struct StatusRow {
    const char* text;
    StatusColour colour;
};
constexpr StatusRow kStatus[] = {
    {"Ready", {0, 0, 0}},       {"Recording", {255, 255, 255}},
    {"Scan...", {255, 255, 0}}, {"Pause", {255, 255, 0}},
    {"Play", {0, 0, 0}},
};

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// An automatic name never replaces a recording already on disk (numbering restarts with every program start,
// and an event's fixed name comes back every day): "name.ext" becomes "name-2.ext", "name-3.ext", ...
std::string unusedPath(const std::string& stem, const std::string& ext) {
    std::string path = stem + "." + ext;
    for (int n = 2; fileExists(path) && n < 100000; ++n)
        path = stem + "-" + std::to_string(n) + "." + ext;
    return path;
}

} // namespace

std::string formatelapsed(double days) {
    long long secs = std::llround(std::fabs(days) * 86400000.0) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%2.2lld:%2.2lld:%2.2lld", secs / 3600, (secs / 60) % 60, secs % 60);
    return text;
}

void RecordingController::ShowStatus(RecorderStatus status) {
    const auto index = static_cast<std::size_t>(status);
    if (index >= std::size(kStatus))
        return;
    m_ctx.state.statusindex = status;
    m_ctx.view.showStatus(kStatus[index].text, kStatus[index].colour);
}

void RecordingController::setknob(int position) {
    position = std::clamp(position, 1, 100);
    m_ctx.view.showVolume(position);
    volumemainChange(position);
}

void RecordingController::volumemainChange(int position) {
    position = std::clamp(position, 1, 100);
    m_ctx.state.knob = position;
    if (m_ctx.state.mode == RecorderMode::Record) {
        if (m_ctx.source)
            m_ctx.source->setvolume(position);
        m_ctx.cfg.mixer.record = position;
    } else {
        m_ctx.view.playbackVolume(position);
        m_ctx.cfg.mixer.playback = position;
    }
}

void RecordingController::StartClick() {
    RecordingState& st = m_ctx.state;
    if (!isDirectory(m_ctx.cfg.archive.dir)) {
        m_ctx.messages.show(kNoFolder, "Warning", MessageIcon::Warning, MessageButtons::Ok);
        return;
    }
    if (!m_ctx.source || !m_ctx.source->usable()) {
        m_ctx.messages.show(kNoSource, "Warning", MessageIcon::Warning, MessageButtons::Ok);
        return;
    }
    m_ctx.setButton(RecorderButton::Pause, true);
    st.mode = RecorderMode::Record;
    setknob(m_ctx.cfg.mixer.record);
    m_ctx.setButton(RecorderButton::Play, false);
    st.paused = false;

    if (m_ctx.cfg.vox.enabled) {
        ShowStatus(RecorderStatus::Scan);
        st.vox.voxarmed = true;
        st.fileopen = false;
        // Auto-stop counts from Record; left at the previous recording's start it would stop this one on its
        // first block. The first file's startrecord sets it again.
        if (st.split.splitcount == 0)
            st.recordstart = m_ctx.clock.now();
        m_ctx.setButton(RecorderButton::Record, false);
        m_ctx.setButton(RecorderButton::Stop, true);
        return;
    }
    if (startrecord() == 0) {
        m_ctx.setButton(RecorderButton::Library, false);
        ShowStatus(RecorderStatus::Recording);
        m_ctx.setButton(RecorderButton::Record, false);
        m_ctx.setButton(RecorderButton::Stop, true);
        // Begin paused only right after the user named the file in the dialog: never with automatic, event or
        // split-part names, where nobody is there to resume it.
        if (m_ctx.cfg.pauserecord.enabled && !m_ctx.cfg.autoname.enabled && m_namedByDialog)
            pausebuttonClick();
    }
}

std::string RecordingController::runSaveDialog() {
    const CodecInfo& codec = codecinfo(m_ctx.cfg.codec.index);
    SaveDialogRequest request{std::string(codec.filter), std::string(codec.extension), m_ctx.cfg.archive.dir};
    std::string chosen;
    for (;;) {
        std::optional<std::string> path = m_ctx.view.runSaveDialog(request);
        chosen = path.value_or(std::string());
        if (chosen.empty() || !fileExists(chosen))
            break;
        if (m_ctx.messages.show("This file already exists. Overwrite?", "Confirm", MessageIcon::Error,
                                MessageButtons::YesNo) != MessageResult::No)
            break;
    }
    m_ctx.state.schedule.eventfilename = baseName(chosen);
    return chosen;
}

void RecordingController::showFileLabel() {
    m_ctx.view.showFileLabel("File:  " + baseName(m_ctx.state.currentfile), m_ctx.state.currentfile);
}

void RecordingController::closewriter() {
    // Clear the reference first: the writer's finished handler runs inside finish().
    std::unique_ptr<TAudioWriter> writer = std::move(m_ctx.writer);
    if (!writer)
        return;
    const WriterOutcome outcome = writer->finish();
    if (!outcome.ok())
        reportwritefailure(writer->FileName, outcome);
}

void RecordingController::reportwritefailure(const std::string& file, const WriterOutcome& outcome) {
    m_ctx.messages.show("Data write error! " + std::to_string(outcome.error) + "\n\"" + file +
                            "\": " + outcome.reason +
                            "\nRecording into this file has stopped; what was written before is kept.",
                        "Quimbrel", MessageIcon::Error, MessageButtons::Ok);
}

void RecordingController::writefailed() {
    // The file cannot take more: end the recording as Stop would, at the end of this block, so the status
    // leaves "Recording" and neither voice activation nor the splitter opens another file on the same disk.
    // The message comes once, when fullstop finishes the file.
    RecordingState& st = m_ctx.state;
    st.writerfailed = true;
    st.vox.voxarmed = false;
    st.schedule.eventfilename.clear();
    st.stoprequest = true;
    st.split.splitcount = 0;
    m_ctx.setButton(RecorderButton::Pause, false);
    m_ctx.setButton(RecorderButton::Play, true);
    m_ctx.setButton(RecorderButton::Record, true);
}

int RecordingController::startrecord() {
    RecordingState& st = m_ctx.state;
    config& cfg = m_ctx.cfg;
    // A writer still open here (Record pressed again before the pending stop ran) is finished first, under
    // its own file name.
    if (m_ctx.writer)
        closewriter();

    m_ctx.filters.flush();
    st.fileopen = true;
    st.totalbytes = 0;
    st.writerfailed = false;
    st.vox.voxcut = false;
    st.vox.cutbytes = 0;
    m_namedByDialog = false;

    if (!isDirectory(cfg.archive.dir))
        cfg.archive.dir = cfg.path.dir;
    const std::string folder = withSeparator(cfg.archive.dir);
    const std::string ext(codecinfo(cfg.codec.index).extension);

    if (st.schedule.scheduledrecording && !st.schedule.eventfilename.empty()) {
        st.currentfile = unusedPath(folder + st.schedule.eventfilename, ext);
    } else if (cfg.autoname.enabled || st.schedule.scheduledrecording || cfg.vox.enabled ||
               cfg.startup.enabled) {
        // A numbered template moves on to the next free number first.
        std::string name = getautoname();
        if (cfg.autoname.expression.find("NUM") != std::string::npos)
            for (int i = 0; i < 10000 && fileExists(folder + name + "." + ext); ++i)
                name = getautoname();
        st.currentfile = unusedPath(folder + name, ext);
    } else if (st.split.splitcount == 0) {
        st.currentfile = runSaveDialog();
        m_namedByDialog = !st.currentfile.empty();
    }
    // A later part: of a split, or of a recording whose file reached its size limit.
    if (st.split.splitcount > 0 && !st.schedule.eventfilename.empty())
        st.currentfile = unusedPath(folder + withoutExtension(st.schedule.eventfilename) + "_part" +
                                        std::to_string(st.split.splitcount),
                                    ext);
    if (st.currentfile.empty())
        return 1;

    st.stoprequest = false;
    const double now = m_ctx.clock.now();
    st.segmentstart = now;
    st.recordstart = now;
    showFileLabel();

    try {
        m_ctx.writer = m_ctx.createWriter(st.currentfile, m_ctx.captureformat);
    } catch (const std::exception& e) {
        m_ctx.writer.reset();
        m_ctx.messages.show(
            std::string("Error: ") + e.what() + "\n" +
                "Please open Settings window and check the Destination File Folder.\n"
                "Perhaps it is write-protected or you do not have permissions to create files "
                "in this folder.",
            "Can not create audio file.", MessageIcon::Error, MessageButtons::Ok);
        st.writing = false;
        return 1;
    }
    if (!m_ctx.writer) {
        st.writing = false;
        return 1;
    }
    m_ctx.writer->OnFinished = [this](const std::string& fileName) { onrecordingfinished(fileName); };
    if (!m_ctx.writer->FileName.empty() && m_ctx.writer->FileName != st.currentfile) {
        st.currentfile = m_ctx.writer->FileName;
        showFileLabel();
    }
    st.writing = true;
    return 0;
}

std::string RecordingController::getautoname() {
    std::string eventname;
    if (m_ctx.state.schedule.scheduledrecording)
        if (const recevent* e = m_ctx.event(m_ctx.state.schedule.currentevent))
            eventname = e->name;
    const AutoName name = autoNameFor(m_ctx.cfg, eventname, m_ctx.clock.now());
    if (name.usesNum)
        ++m_ctx.cfg.numoffset;
    // A template or an event name holding "/" must not lead out of the output folder.
    return safefilename(name.baseName);
}

void RecordingController::StopClick() {
    RecordingState& st = m_ctx.state;
    st.paused = false;
    if (st.mode == RecorderMode::Record) {
        if (m_ctx.cfg.scheduler.enabled && st.schedule.scheduledrecording) {
            if (recevent* e = m_ctx.event(st.schedule.currentevent)) {
                e->cancelled = true;
                m_ctx.view.setScheduleStatus(st.schedule.currentevent - 1, "Canceled");
            }
            st.schedule.scheduledrecording = false;
        }
        st.schedule.eventfilename.clear();
        st.vox.voxarmed = false;
        st.stoprequest = true;
        st.split.splitcount = 0;
    } else {
        st.mode = RecorderMode::Record;
        setknob(m_ctx.cfg.mixer.record);
        m_ctx.view.showTime("00:00:00");
        m_ctx.view.playbackStop();
        ShowStatus(RecorderStatus::Ready);
        m_ctx.setButton(RecorderButton::Stop, false);
    }
    m_ctx.setButton(RecorderButton::Pause, false);
    m_ctx.setButton(RecorderButton::Play, true);
    m_ctx.setButton(RecorderButton::Record, true);
}

void RecordingController::fullstop() {
    RecordingState& st = m_ctx.state;
    if (st.vox.voxarmed) {
        st.fileopen = false;
        ShowStatus(RecorderStatus::Scan);
    } else {
        ShowStatus(RecorderStatus::Ready);
        m_ctx.setButton(RecorderButton::Record, true);
        m_ctx.setButton(RecorderButton::Stop, false);
        m_ctx.view.showTime("00:00:00");
    }
    st.stoprequest = false;
    st.writing = false;
    closewriter();
    m_ctx.setButton(RecorderButton::Library, true);
    st.lastfile = st.currentfile;
    st.vox.deleteshort = false;
    st.vox.voxcut = false;
    m_ctx.view.refreshLibrary();
}

void RecordingController::onrecordingfinished(const std::string& fileName) {
    RecordingState& st = m_ctx.state;
    config& cfg = m_ctx.cfg;
    if (cfg.vox.enabled && cfg.vox.action == 2 && st.vox.voxarmed) {
        // Cut only a file that voice activation closed on silence: cutbytes belongs to that silence.
        if (cfg.vox.cutoff && cfg.codec.index == kCodecMP3 && st.vox.voxcut && fileExists(st.currentfile)) {
            std::error_code ec;
            fs::resize_file(st.currentfile,
                            static_cast<std::uintmax_t>(std::max<std::int64_t>(st.vox.cutbytes, 0)), ec);
            if (ec)
                m_ctx.messages.show("Could not remove the closing silence from \"" + st.currentfile +
                                        "\": " + ec.message(),
                                    "Quimbrel", MessageIcon::Warning, MessageButtons::Ok);
        }
        if (cfg.autodelete.enabled && st.vox.deleteshort && fileExists(st.currentfile)) {
            std::error_code ec;
            fs::remove(st.currentfile, ec);
            if (ec)
                m_ctx.messages.show("Could not delete the short recording \"" + st.currentfile +
                                        "\": " + ec.message(),
                                    "Quimbrel", MessageIcon::Warning, MessageButtons::Ok);
            else if (cfg.autoname.expression.find("NUM") != std::string::npos)
                --cfg.numoffset;
        }
    }
    if (!fileExists(fileName))
        return;
    if (m_ctx.database)
        m_ctx.database->addRecording(fileName);
    if (cfg.runtagger.enabled && fileExists(cfg.taggerpath))
        m_ctx.launcher.launch({cfg.taggerpath, "/W", fileName});
    if (m_ctx.onFileFinished)
        m_ctx.onFileFinished(fileName);
}

void RecordingController::pausebuttonClick() {
    RecordingState& st = m_ctx.state;
    const double now = m_ctx.clock.now();
    if (!st.paused) {
        st.savedstatus = st.statusindex;
        ShowStatus(RecorderStatus::Pause);
        st.pausestart = now;
        if (st.mode == RecorderMode::Playback)
            m_ctx.view.playbackPause(true);
    } else {
        ShowStatus(st.savedstatus);
        st.segmentstart += now - st.pausestart;
        if (st.mode == RecorderMode::Playback)
            m_ctx.view.playbackPause(false);
    }
    st.paused = !st.paused;
}

void RecordingController::beginPlayback(const std::string& path) {
    RecordingState& st = m_ctx.state;
    st.paused = false;
    st.segmentstart = m_ctx.clock.now();
    m_ctx.view.showFileLabel("File:  " + baseName(path), path);
    ShowStatus(RecorderStatus::Play);
    m_ctx.setButton(RecorderButton::Record, false);
    m_ctx.setButton(RecorderButton::Pause, true);
    m_ctx.setButton(RecorderButton::Stop, true);
    st.mode = RecorderMode::Playback;
    setknob(m_ctx.cfg.mixer.playback);
}

void RecordingController::endPlayback() {
    RecordingState& st = m_ctx.state;
    st.mode = RecorderMode::Record;
    setknob(m_ctx.cfg.mixer.record);
    m_ctx.setButton(RecorderButton::Record, true);
    m_ctx.setButton(RecorderButton::Pause, false);
    m_ctx.setButton(RecorderButton::Stop, false);
    m_ctx.view.showTime("00:00:00");
    ShowStatus(RecorderStatus::Ready);
}

} // namespace quimbrel
