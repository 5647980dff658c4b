// The recorder's view in the command-line front end.
#include "cli/CliView.h"

namespace quimbrel {

void CliView::showFileLabel(const std::string&, const std::string& hint) {
    m_out << "recording: " << hint << std::endl;
}

void CliView::showStatus(const std::string& text, StatusColour) {
    if (text == m_status)
        return;
    m_status = text;
    m_out << "status: " << text << std::endl;
}

void CliView::setScheduleStatus(int row, const std::string& text) {
    m_out << "event " << row + 1 << ": " << text << std::endl;
}

} // namespace quimbrel
