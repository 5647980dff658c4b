// One entry of the endpoint catalogue: a sound card (with its endpoints) or one endpoint of a card.
#pragma once

#include "capture/TWASAPIDevices.h"

#include <cstdint>
#include <string>

namespace quimbrel {

// On an endpoint: a PulseAudio sink (dataflow 0, recorded through its monitor) or a non-monitor source
// (dataflow 1). On a card: the adapter, named after the first endpoint that had its name; only `name`, `id`
// and `endpoints` are set.
class TWASAPIDevice {
public:
    // Endpoint states.
    static constexpr std::int32_t kActive = 1;
    static constexpr std::int32_t kDisabled = 2;
    static constexpr std::int32_t kNotPresent = 4;
    static constexpr std::int32_t kUnplugged = 8;

    std::string name; // endpoint: its description; card: the adapter name
    std::string id;   // endpoint: the sink or source name; card: the id of the endpoint that created it
    std::int32_t dataflow = 0;   // 0 render (sink), 1 capture (source)
    std::int32_t state = 0;      // kActive, kDisabled, kNotPresent or kUnplugged; 0 on a card
    std::int32_t samplerate = 0; // the endpoint's own rate; 0 when unread
    std::int32_t channels = 0;   // the endpoint's own channel count; 0 when unread
    std::int32_t bits = 0;       // 32 (we always capture float); 0 when unread
    TWASAPIDevices endpoints;    // card: its endpoints in the server's order; endpoint: empty
};

} // namespace quimbrel
