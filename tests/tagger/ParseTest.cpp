// The readers of the services' answers, the vote, URL encoding and the command line, as tables of cases.
#include "AcoustIDParser.h"
#include "CommandLine.h"
#include "LastfmReader.h"
#include "MusicBrainzParser.h"
#include "UrlEncode.h"
#include "Vote.h"

#include <gtest/gtest.h>

using namespace quimbrel::tagger;

namespace {} // namespace

namespace quimbrel::tagger {
void PrintTo(const TQueryResults& r, std::ostream* os) {
    *os << "(" << r.title << ", " << r.artist << ", " << r.album << ")";
}
} // namespace quimbrel::tagger

namespace {

TQueryResults q(std::string t, std::string a, std::string al) {
    return {std::move(t), std::move(a), std::move(al)};
}

struct VoteCase {
    const char* name;
    std::vector<TQueryResults> candidates;
    TQueryResults expected;
};

TEST(Vote, PicksMostFrequentTitleArtistAndTheirAlbum) {
    const VoteCase cases[] = {
        {"artist by count, album of the winning pair",
         {q("A", "X", "a"), q("A", "Y", "b"), q("B", "Y", "c")},
         q("A", "Y", "b")},
        {"ties go to the first", {q("A", "X", "a"), q("B", "Y", "b")}, q("A", "X", "a")},
        {"four-way tie",
         {q("A", "X", "a"), q("B", "Y", "b"), q("B", "X", "c"), q("A", "Y", "d")},
         q("A", "X", "a")},
        {"empty title can win", {q("", "X", "a"), q("", "X", "b"), q("T", "X", "c")}, q("", "X", "a")},
        {"no candidate carries both: first album",
         {q("A", "Y", "a"), q("B", "X", "b"), q("A", "Z", "c"), q("C", "X", "d")},
         q("A", "X", "a")},
        {"album by count among matching",
         {q("A", "X", "one"), q("A", "X", "two"), q("A", "X", "two"), q("B", "Y", "two")},
         q("A", "X", "two")},
        {"comparisons are case-sensitive",
         {q("a", "X", "1"), q("A", "X", "2"), q("A", "X", "3")},
         q("A", "X", "2")},
        {"empty album stays empty", {q("A", "X", "")}, q("A", "X", "")},
    };
    for (const VoteCase& c : cases) {
        auto won = vote(c.candidates);
        ASSERT_TRUE(won.has_value()) << c.name;
        EXPECT_EQ(*won, c.expected) << c.name;
    }
    EXPECT_FALSE(vote({}).has_value());
}

TEST(UrlEncode, KeepsOnlyAsciiLettersAndDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"red sky", "red%20sky"},
        {"sun/moon", "sun%2Fmoon"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {"a-b_c.d~e", "a%2Db%5Fc%2Ed%7Ee"},
        {"AZaz09", "AZaz09"},
        {"&=?+%", "%26%3D%3F%2B%25"},
        {"", ""},
        {"\xF0\x9F\x8E\xB5", "%F0%9F%8E%B5"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(urlencode(in), out) << in;
}

TEST(UrlEncode, LowercaseIsFullUnicodeAndKeepsBrokenBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"Sun/Moon", "sun/moon"},
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"},               // ÉTÉ
        {"\xD0\x9C\xD0\x98\xD0\xA0", "\xD0\xBC\xD0\xB8\xD1\x80"}, // МИР
        {"\xCE\xA3\xCE\x9F\xCE\xA6", "\xCF\x83\xCE\xBF\xCF\x86"}, // ΣΟΦ
        {"A\xFF"
         "B\xC3",
         "a\xFF"
         "b\xC3"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(lowercase(in), out) << in;
    EXPECT_EQ(urlencode(lowercase("Sun/Moon")), "sun%2Fmoon");
    EXPECT_EQ(urlencode(lowercase("Red Sky")), "red%20sky");
}

const char* kAcoustIDAnswer = R"(<?xml version='1.0' encoding='UTF-8'?>
<response>
  <status>ok</status>
  <results>
    <result>
      <id>r1</id>
      <score>0.9</score>
    </result>
    <result>
      <recordings>
        <recording><id>aaaa-1</id></recording>
        <other>x</other>
        <recording><id>bbbb-2</id></recording>
      </recordings>
      <id>r2</id>
    </result>
  </results>
</response>)";

TEST(AcoustIDParser, ReadsResultsAndRecordingSlots) {
    TAcoustIDResponse r;
    parseAcoustIDResponse(kAcoustIDAnswer, r);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_TRUE(r.results[0].recordings.empty());
    EXPECT_EQ(r.results[1].recordings, (std::vector<std::string>{"aaaa-1", "", "bbbb-2"}));
}

TEST(AcoustIDParser, ErrorsAndDamagedAnswers) {
    struct Case {
        const char* name;
        const char* body;
        std::vector<std::size_t> recordingsPerResult;
    };
    const Case cases[] = {
        {"error document",
         "<response><status>error</status><error><code>4</code><message>invalid API key</message></error>"
         "</response>",
         {}},
        {"not XML", "<html><body>502 Bad Gateway", {}},
        {"empty", "", {}},
        {"no recordings meta", "<response><results><result><id>x</id></result></results></response>", {0}},
        {"non-result children make empty slots",
         "<response><results><x/><result/></results></response>",
         {0, 0}},
        {"recording without children stops the walk, keeps what was read",
         "<response><results><result><recordings><recording><id>a</id></recording><recording/>"
         "<recording><id>c</id></recording></recordings></result><result><recordings><recording><id>d</id>"
         "</recording></recordings></result></results></response>",
         {3, 0}},
        {"names are exact", "<response><Results><result/></Results></response>", {}},
    };
    for (const Case& c : cases) {
        TAcoustIDResponse r;
        r.results.resize(5);
        parseAcoustIDResponse(c.body, r);
        std::vector<std::size_t> got;
        for (const auto& res : r.results)
            got.push_back(res.recordings.size());
        EXPECT_EQ(got, c.recordingsPerResult) << c.name;
    }
}

const char* kMusicBrainzAnswer = R"(<?xml version="1.0" encoding="UTF-8"?>
<metadata xmlns="http://musicbrainz.org/ns/mmd-2.0#">
  <recording id="aaaa-1">
    <title>Caf&#xE9; &amp; Bar</title>
    <length>180000</length>
    <artist-credit>
      <name-credit joinphrase=" feat. ">
        <artist id="x"><name>First Artist</name><sort-name>Artist, First</sort-name></artist>
      </name-credit>
      <name-credit><artist id="y"><name>Second</name></artist></name-credit>
    </artist-credit>
    <release-list count="2">
      <release id="r1"><title>First Album</title><status>Official</status></release>
      <release id="r2"><title>Second Album</title></release>
    </release-list>
  </recording>
</metadata>)";

TEST(MusicBrainzParser, ReadsTitleFirstArtistAndFirstRelease) {
    TQueryResults r;
    ASSERT_TRUE(parseMusicBrainzRecording(kMusicBrainzAnswer, r));
    EXPECT_EQ(r, q("Caf\xC3\xA9 & Bar", "First Artist", "First Album"));
}

TEST(MusicBrainzParser, EdgeCasesAndFailures) {
    struct Case {
        const char* name;
        const char* body;
        bool ok;
        TQueryResults expected;
    };
    const Case cases[] = {
        {"empty root succeeds empty", "<metadata/>", true, {}},
        {"zero releases leave the album empty",
         "<metadata><recording><title>T</title><release-list count=\"0\"/></recording></metadata>", true,
         q("T", "", "")},
        {"later title overwrites",
         "<metadata><recording><title>A</title><title>B</title></recording></metadata>", true,
         q("B", "", "")},
        {"no artist credit", "<metadata><recording><title>T</title></recording></metadata>", true,
         q("T", "", "")},
        {"recording without children", "<metadata><recording/></metadata>", false, {}},
        {"artist credit too shallow",
         "<metadata><recording><title>T</title><artist-credit><name-credit/></artist-credit></recording></"
         "metadata>",
         false,
         {}},
        {"a credited name comes before the artist: it is taken",
         "<metadata><recording><artist-credit><name-credit><name>N</name><artist><name>A</name></artist>"
         "</name-credit></artist-credit></recording></metadata>",
         true, q("", "N", "")},
        {"counted release list without release",
         "<metadata><recording><release-list count=\"1\"></release-list></recording></metadata>",
         false,
         {}},
        {"first release without children",
         "<metadata><recording><release-list count=\"1\"><release/></release-list></recording></metadata>",
         false,
         {}},
        {"not XML", "Service Temporarily Unavailable", false, {}},
        {"truncated", "<metadata><recording><title>T</title>", false, {}},
    };
    for (const Case& c : cases) {
        TQueryResults r = q("old", "old", "old");
        EXPECT_EQ(parseMusicBrainzRecording(c.body, r), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(r, c.expected) << c.name;
        }
    }
}

TEST(LastfmReader, TitleAndFirstExtraLargeImage) {
    struct Case {
        const char* name;
        const char* body;
        std::optional<std::string> album;
        std::string url;
    };
    const Case cases[] = {
        {"album answer",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<lfm status=\"ok\">\r\n<album>\r\n  <name>Red "
         "Sky</name>\r\n"
         "  <title>Red Sky (Deluxe)</title>\r\n  <image size=\"large\">http://h/l.png</image>\r\n"
         "  <image size=\"extralarge\">  http://h/xl.png </image>\r\n"
         "  <image size=\"extralarge\">http://h/second.png</image>\r\n  "
         "<title>After</title>\r\n</album></lfm>",
         "Red Sky (Deluxe)", "http://h/xl.png"},
        {"entities and other markup stay", "\t<title>Rock &amp; Roll <b>x</b></title>\n",
         "Rock &amp; Roll <b>x</b>", ""},
        {"every title tag removed, last title line wins", "<title>A</title>\r<title>B<title></title>\n", "B",
         ""},
        {"error document", "<lfm status=\"failed\"><error code=\"6\">Album not found</error></lfm>",
         std::nullopt, ""},
        {"tag must begin the line", "x<title>A</title>\nx<image size=\"extralarge\">u</image>", std::nullopt,
         ""},
        {"empty", "", std::nullopt, ""},
        {"lone LF and CR LF both split", "a\n<title>A</title>\r\n\r\n<image size=\"extralarge\">uu</image>",
         "A", "uu"},
    };
    for (const Case& c : cases) {
        LastfmAnswer a = readLastfmLines(c.body);
        EXPECT_EQ(a.album, c.album) << c.name;
        EXPECT_EQ(a.pictureUrl, c.url) << c.name;
    }
}

TEST(CommandLine, PathAndTagSwitch) {
    struct Case {
        std::vector<std::string> args;
        bool has;
        std::string path;
        bool tag;
    };
    const Case cases[] = {
        {{}, false, "", false},
        {{"song.mp3"}, true, "song.mp3", false},
        {{"/W", "song.mp3"}, true, "song.mp3", true},
        {{" /w ", "song.mp3"}, true, "song.mp3", false},
        {{"/w", "song.mp3"}, true, "song.mp3", true},
        {{"song.mp3", "/W"}, true, "song.mp3", true},
        {{"song.mp3", "-w"}, true, "song.mp3", true},
        {{"-W", "song.mp3"}, true, "-W", true},
        {{"/W"}, true, "", true},
        {{"song.mp3", "/WX"}, true, "song.mp3", false},
        {{"song.mp3", "W"}, true, "song.mp3", false},
    };
    for (const Case& c : cases) {
        CommandLine cl = parseCommandLine(c.args);
        std::string label = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(cl.hasParameters, c.has) << label;
        EXPECT_EQ(cl.path, c.path) << label;
        EXPECT_EQ(cl.tagMode, c.tag) << label;
    }
}

} // namespace
