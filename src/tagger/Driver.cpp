// The order of a run: parameters, identification, then show or tag.
#include "Driver.h"

#include "AudioDecoder.h"
#include "CommandLine.h"
#include "CoverPicture.h"
#include "LastfmQuery.h"
#include "StreamFeeder.h"
#include "TRecognize.h"
#include "TagWriter.h"
#include "Vote.h"

#include "morvel_loader.h"

namespace quimbrel::tagger {

bool fingerprintFile(const std::string& path, AudioDecoder& stream, TRecognize& recognize) {
    // Chromaprint works on mono at its own rate; FFmpeg's resampler gets there faster than Chromaprint's
    // own, and straight from the decoder's samples.
    if (!stream.open(path, {TChromaPrint::sampleRate()}))
        return false;
    const int duration = wholeSeconds(stream.lengthSeconds());
    if (duration <= kFingerprintSeconds)
        return false;
    recognize.start(stream.sampleRate(), stream.channels(), duration);
    feedFirstSeconds(stream, kFingerprintSeconds,
                     [&](const std::int16_t* block, int count) { recognize.feed(block, count); });
    recognize.finish();
    return true;
}

Driver::Driver(ServiceConfig config, std::ostream& out, std::ostream& err)
    : m_config(std::move(config)), m_out(out), m_err(err) {}

std::string Driver::helpText() {
    const ServiceConfig d = ServiceConfig::defaults();
    return "Usage: ombrikw [/W] FILE\n"
           "       ombrikw FILE /W\n"
           "\n"
           "Recognises a recording by its sound: decodes the first two minutes of FILE (which must be "
           "longer\n"
           "than 120 seconds), computes its acoustic fingerprint, asks AcoustID which recordings match and\n"
           "MusicBrainz for their title, artist and album, and takes the answer most of them agree on.\n"
           "\n"
           "Without /W it prints artist, title and album on three lines. With /W (or -W, in either case) it\n"
           "also asks Last.fm for the album and its cover picture and writes title, artist, album and cover\n"
           "into FILE's tags. Nothing is printed when nothing is recognised; the exit status is always 0.\n"
           "\n"
           "Environment:\n"
           "  OMBRIKW_ACOUSTID_URL     AcoustID address, scheme://host[:port] (default " +
           d.acoustidUrl +
           ")\n"
           "  OMBRIKW_MUSICBRAINZ_URL  MusicBrainz address (default " +
           d.musicbrainzUrl +
           ")\n"
           "  OMBRIKW_LASTFM_URL       Last.fm API address (default " +
           d.lastfmUrl +
           ")\n"
           "  OMBRIKW_ACOUSTID_KEY     AcoustID client key (default " +
           d.acoustidKey +
           ")\n"
           "  OMBRIKW_LASTFM_KEY       Last.fm API key (default " +
           d.lastfmKey +
           ")\n"
           "  OMBRIKW_CA_FILE          extra CA certificates (PEM) trusted besides the system's store\n"
           "Nothing else is configurable. Taggers running at the same time keep MusicBrainz's pace of one\n"
           "request a second together, through the file ombrikw-musicbrainz.lock in $XDG_RUNTIME_DIR.\n";
}

std::optional<TQueryResults> Driver::identify(const std::string& path) {
    TRecognize recognize(m_config);
    AudioDecoder stream;
    if (!fingerprintFile(path, stream, recognize))
        return std::nullopt;
    stream.close();

    std::vector<TQueryResults> candidates;
    const int results = recognize.lookup();
    for (int i = 0; i < results; ++i) {
        const int recordings = recognize.recordingCount(i);
        if (recordings == 0)
            continue;
        for (int j = 0; j < recordings; ++j) {
            if (recognize.queryRecording(i, j) && !(recognize.title().empty() && recognize.artist().empty()))
                candidates.push_back({recognize.title(), recognize.artist(), recognize.album()});
        }
        // Only the first result that has recordings is used.
        break;
    }
    return vote(candidates);
}

void Driver::writeTags(const std::string& path, TQueryResults found) {
    MorvelLibrary library;
    library.load();
    CoverPicture picture;
    lastfmQuery(m_config, found.artist, found.title, found.album, LastfmMode::Album, picture);
    if (picture.empty())
        lastfmQuery(m_config, found.artist, found.title, found.album, LastfmMode::Track, picture);
    TagWriter(library).write(path, found.artist, found.title, found.album, picture, m_err);
    picture.clear();
    library.unload();
}

int Driver::run(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "--help") {
        m_out << helpText();
        return 0;
    }
    const CommandLine cl = parseCommandLine(args);
    if (!cl.hasParameters)
        return 0;
    std::optional<TQueryResults> found = identify(cl.path);
    if (!found)
        return 0;
    if (!cl.tagMode) {
        m_out << found->artist << '\n' << found->title << '\n' << found->album << '\n';
        return 0;
    }
    writeTags(cl.path, *found);
    return 0;
}

} // namespace quimbrel::tagger
