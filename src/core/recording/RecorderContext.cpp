// The shared context of the recorder's parts.
#include "recording/RecorderContext.h"

namespace quimbrel {

void RecorderContext::setButton(RecorderButton button, bool enabled) {
    switch (button) {
    case RecorderButton::Record:
        state.recordEnabled = enabled;
        break;
    case RecorderButton::Stop:
        state.stopEnabled = enabled;
        break;
    case RecorderButton::Pause:
        state.pauseEnabled = enabled;
        break;
    case RecorderButton::Play:
        state.playEnabled = enabled;
        break;
    case RecorderButton::Library:
        state.libraryEnabled = enabled;
        break;
    case RecorderButton::None:
        return;
    }
    view.setButtonEnabled(button, enabled);
}

} // namespace quimbrel
