// The options of `quimbrel-cli record`: checked when they are read, then laid over the stored settings for
// this run only (the settings file is never written by the command-line front end).
#pragma once

#include "capture/TWASAPIDevices.h"

#include <optional>
#include <string>

namespace quimbrel {

struct config;

struct RecordOptions {
    double forSeconds = 0;             // <= 0: until a signal or auto-stop
    std::optional<int> format;         // codec.index
    std::optional<int> bitrate;        // kbit/s
    std::optional<int> rate;           // Hz
    std::optional<int> channels;       // 1 or 2
    std::optional<std::string> device; // CARD:LINE, or an endpoint's name or id
    std::optional<std::string> output;
    std::optional<std::string> name; // name template
};

// Each parser takes the option's text and either fills the field or returns the one-line reason it is
// refused. Only the values that can be checked without the settings are checked here.
std::optional<std::string> parseformat(const std::string& text, RecordOptions& options);
std::optional<std::string> parsepositive(const std::string& option, const std::string& text,
                                         std::optional<int>& field);
std::optional<std::string> parseseconds(const std::string& text, double& seconds);
std::optional<std::string> parsechannels(const std::string& text, RecordOptions& options);
std::optional<std::string> parsename(const std::string& text, RecordOptions& options);

// Lays format, bit rate, sample rate, channels, output folder and name template over cfg, keeping each list
// position consistent with the format's lists (a rate or bit rate the format does not offer is refused).
// The output folder becomes absolute with a closing '/' (the caller creates it). Marks cfg as changed for
// this run only.
std::optional<std::string> applyrecordoptions(config& cfg, const RecordOptions& options);

// The card and line that --device names: "CARD:LINE" positions as `devices` prints them, else the endpoint
// whose name or id equals the text (an exact id first, then the name, which must be unique).
struct DeviceChoice {
    int card = 0;
    int line = 0;
};
std::optional<std::string> resolvedevice(const TWASAPIDevices& cards, const std::string& spec,
                                         DeviceChoice& choice);

} // namespace quimbrel
