// The recorder's view in the command-line front end: status changes and files as lines on standard output.
// UI (main) thread.
#pragma once

#include "recording/RecorderView.h"

#include <ostream>

namespace quimbrel {

class CliView final : public RecorderView {
public:
    explicit CliView(std::ostream& out) : m_out(out) {}
    void setButtonEnabled(RecorderButton, bool) override {}
    // "recording: <path>" when a new file is started.
    void showFileLabel(const std::string& text, const std::string& hint) override;
    // "status: <text>" when the status changes.
    void showStatus(const std::string& text, StatusColour colour) override;
    void showTime(const std::string&) override {}
    void showVolume(int) override {}
    // Nobody is there to choose a name.
    std::optional<std::string> runSaveDialog(const SaveDialogRequest&) override { return std::nullopt; }
    void setScheduleStatus(int row, const std::string& text) override;
    void selectScheduleRow(int) override {}
    void refreshLibrary() override {}

private:
    std::ostream& m_out;
    std::string m_status;
};

} // namespace quimbrel
