// The recording source over the capture catalogue.
#include "recording/RecordingSource.h"

#include "capture/TWASAPISource.h"

namespace quimbrel {

bool WasapiRecordingSource::usable() const {
    return m_source.isactive() && m_source.opened();
}

void WasapiRecordingSource::setvolume(int position) {
    m_source.setvolume(position);
}

} // namespace quimbrel
