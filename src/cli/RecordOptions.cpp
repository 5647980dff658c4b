// The options of `quimbrel-cli record` and how they are laid over the stored settings.
#include "cli/RecordOptions.h"

#include "capture/TWASAPIDevice.h"
#include "encoder/CodecTable.h"
#include "state/config.h"
#include "state/names.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace quimbrel {

namespace {

std::string joined(std::span<const int> values) {
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : ", ") + std::to_string(v);
    return text;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

int positionof(std::span<const int> list, int value) {
    const auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

bool parseint(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// The position in the format's mode list for a channel count: the stored mode when it already has that many
// channels (MP3's joint stereo stays joint stereo), else plain stereo or mono.
int modeposition(const CodecInfo& info, int storedmode, int channels) {
    const auto mono = static_cast<int>(info.modes.size()) - 1; // "Mono" closes every mode list
    const bool storedfits = storedmode >= 0 && storedmode <= mono && (storedmode == mono) == (channels == 1);
    if (storedfits)
        return storedmode;
    return channels == 1 ? mono : 0;
}

} // namespace

std::optional<std::string> parseformat(const std::string& text, RecordOptions& options) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (int i = 0; i < kCodecCount; ++i)
        if (codecinfo(i).extension == lower) {
            options.format = i;
            return std::nullopt;
        }
    return "--format must be one of mp3, ogg, wma, wav, flac, m4a, not " + quoted(text);
}

std::optional<std::string> parsepositive(const std::string& option, const std::string& text,
                                         std::optional<int>& field) {
    int value = 0;
    if (!parseint(text, value) || value <= 0)
        return option + " needs a positive whole number, not " + quoted(text);
    field = value;
    return std::nullopt;
}

std::optional<std::string> parseseconds(const std::string& text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || !end || *end != '\0' || !std::isfinite(value) || value <= 0 ||
        value >= 1e9)
        return "--for needs a positive number of seconds, not " + quoted(text);
    seconds = value;
    return std::nullopt;
}

std::optional<std::string> parsechannels(const std::string& text, RecordOptions& options) {
    if (text != "1" && text != "2")
        return "--channels must be 1 or 2, not " + quoted(text);
    options.channels = text[0] - '0';
    return std::nullopt;
}

std::optional<std::string> parsename(const std::string& text, RecordOptions& options) {
    if (text.empty())
        return "--name needs a template, e.g. YY-MM-DD-HH-NN-SS";
    if (hasillegalchars(text))
        return "--name must not hold any of \\ / : * ? \" < > |, not " + quoted(text);
    options.name = text;
    return std::nullopt;
}

namespace {

// Format, rates and channels, with every list position kept consistent with the format's lists.
std::optional<std::string> applyformat(config& cfg, const RecordOptions& options) {
    const bool formatchanged = options.format && *options.format != cfg.codec.index;
    if (options.format)
        cfg.codec.index = *options.format;
    const CodecInfo& info = codecinfo(cfg.codec.index);

    // The capture rate must be one the format offers; when only the format changes and the stored rate is
    // not in its list, 44100 Hz (in every list) stands in.
    if (options.rate) {
        if (positionof(info.rates, *options.rate) < 0)
            return "--rate " + std::to_string(*options.rate) + " is not offered for " +
                   std::string(info.entry) + " (" + joined(info.rates) + ")";
        cfg.current.rate = *options.rate;
    } else if (positionof(info.rates, cfg.current.rate) < 0) {
        cfg.current.rate = 44100;
    }
    cfg.codec.rate = positionof(info.rates, cfg.current.rate);

    if (options.channels)
        cfg.current.mode = *options.channels;
    if (cfg.current.mode != 1 && cfg.current.mode != 2)
        cfg.current.mode = 2;
    cfg.codec.mode = modeposition(info, formatchanged ? -1 : cfg.codec.mode, cfg.current.mode);

    const std::span<const int> bitrates =
        cfg.codec.index == kCodecMP3 ? mp3bitrates(cfg.current.rate) : info.bitrates;
    if (options.bitrate) {
        if (bitrates.empty())
            return "--bitrate does not apply to " + std::string(info.entry);
        const int position = positionof(bitrates, *options.bitrate);
        if (position < 0)
            return "--bitrate " + std::to_string(*options.bitrate) + " is not offered for " +
                   std::string(info.entry) + " at " + std::to_string(cfg.current.rate) + " Hz (" +
                   joined(bitrates) + ")";
        cfg.codec.bitrate = position;
    } else if (formatchanged) {
        // A stored position belongs to the old format's list.
        cfg.codec.bitrate = info.defaultbitrate;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> applyrecordoptions(config& cfg, const RecordOptions& options) {
    if (options.format || options.rate || options.channels || options.bitrate)
        if (auto refused = applyformat(cfg, options))
            return refused;
    if (options.output) {
        std::error_code ec;
        std::filesystem::path folder = std::filesystem::absolute(*options.output, ec);
        if (ec)
            return "--output " + quoted(*options.output) + ": " + ec.message();
        std::string dir = folder.lexically_normal().string();
        if (dir.empty() || dir.back() != '/')
            dir += '/';
        cfg.archive.dir = dir;
    }
    if (options.name)
        cfg.autoname.expression = *options.name;
    cfg.runonly = true;
    return std::nullopt;
}

std::optional<std::string> resolvedevice(const TWASAPIDevices& cards, const std::string& spec,
                                         DeviceChoice& choice) {
    const auto colon = spec.find(':');
    int card = -1, line = -1;
    if (colon != std::string::npos && parseint(spec.substr(0, colon), card) &&
        parseint(spec.substr(colon + 1), line)) {
        if (card < 0 || card >= cards.count() || line < 0 || line >= cards[card].endpoints.count())
            return "--device " + spec + ": no such card and line (see 'quimbrel-cli devices')";
        choice = {card, line};
        return std::nullopt;
    }
    std::optional<DeviceChoice> byname;
    int named = 0;
    for (int c = 0; c < cards.count(); ++c)
        for (int l = 0; l < cards[c].endpoints.count(); ++l) {
            const TWASAPIDevice& e = cards[c].endpoints[l];
            if (e.id == spec) {
                choice = {c, l};
                return std::nullopt;
            }
            if (e.name == spec && named++ == 0)
                byname = DeviceChoice{c, l};
        }
    if (named > 1)
        return "--device " + quoted(spec) + " names " + std::to_string(named) +
               " endpoints; give its CARD:LINE instead (see 'quimbrel-cli devices')";
    if (!byname)
        return "--device " + quoted(spec) + ": no endpoint has this name (see 'quimbrel-cli devices')";
    choice = *byname;
    return std::nullopt;
}

} // namespace quimbrel
