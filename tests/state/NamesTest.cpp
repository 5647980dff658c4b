// Template expansion, the running number, the refused characters and the names.xml list.
#include "StateFixture.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/names.h"

namespace quimbrel {
namespace {

using test::readFile;
using test::writeFile;

// Tuesday 8 August 2006, 22:15:07.
const double kWhen = makeDayNumber(2006, 8, 8, 22, 15, 7);

TEST(Template, ExpandsTokensInTheirOrder) {
    test::ScopedLocale plain("C", "UTF-8");
    struct Case {
        const char* tmpl;
        const char* event;
        long long number;
        const char* expected;
    };
    const Case cases[] = {
        {"YY-MM-DD-HH-NN-SS", "", 7, "2006-Aug-08-22-15-07"},
        {"YS MN DW", "", 7, "06 08 Tue"},
        {"YYS", "", 7, "2006S"},   // YY goes first and takes the letters YS would have used
        {"MNN", "", 7, "08N"},     // month number, then a plain N
        {"CLASS", "", 7, "CLA07"}, // SS is a token wherever it stands
        {"yy-Mm-dd-nn", "", 7, "yy-Mm-dd-nn"},
        {"rec-NUM", "", 7, "rec-007"},
        {"NUM", "", 42, "042"},
        {"NUM", "", 1234, "1234"},
        {"NUM", "", 0, "000"},
        {"NUM", "", -5, "0-5"},
        {"NUM", "", 2147483648LL, "2147483648"},
        {"EVENT_HH", "", 7, "_22"},
        {"EVENT_HH", "YY news", 7, "YY news_22"}, // the event name is never expanded
        {"EVENTEVENT", "EVENT", 7, "EVENTEVENT"},
        {"", "x", 7, ""},
        {"a/b:c", "", 7, "a/b:c"}, // no character check here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpl);
        EXPECT_EQ(expandtemplate(c.tmpl, c.event, c.number, kWhen), c.expected);
    }
}

TEST(Template, MonthAndDayNamesFollowTheLocale) {
    // A locale whose charset is not UTF-8 still gives UTF-8 names.
    test::ScopedLocale latin("fr_FR", "ISO-8859-1");
    if (!latin.ok())
        GTEST_SKIP() << "no French Latin-1 locale";
    EXPECT_EQ(expandtemplate("MM DW", "", 0, kWhen), "ao\xc3\xbbt mar.");
}

TEST(Template, NumberingFromTheSettings) {
    config cfg;
    cfg.autoname.expression = "rec-NUM";
    AutoName a = autoNameFor(cfg, "", kWhen);
    EXPECT_EQ(a.baseName, "rec-100");
    EXPECT_TRUE(a.usesNum);
    cfg.numoffset += 1;
    a = autoNameFor(cfg, "", kWhen);
    EXPECT_EQ(a.baseName, "rec-101");
    EXPECT_EQ(a.number, 101);

    cfg.autoname.number = 2147483647; // the sum does not overflow
    EXPECT_EQ(autoNameFor(cfg, "", kWhen).baseName, "rec-2147483648");

    cfg.autoname.expression = "EVENT-num";
    a = autoNameFor(cfg, "Morning show", kWhen);
    EXPECT_EQ(a.baseName, "Morning show-num");
    EXPECT_FALSE(a.usesNum);
}

TEST(Template, IllegalCharacters) {
    for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b"})
        EXPECT_TRUE(hasillegalchars(bad)) << bad;
    for (const char* good : {"", "YY-MM-DD", "a.b c_d'e(f)[g]{h}%", "\xc3\xbc"})
        EXPECT_FALSE(hasillegalchars(good)) << good;
}

class NamesFile : public test::TempHome {
protected:
    RecordingMessagePort port;
    std::string path() const { return root() + "names.xml"; }
};

TEST_F(NamesFile, RoundTripAppendsInOrder) {
    const std::vector<std::string> names = {"YY-MM-DD", "rec <&> \"NUM\" 'x'",
                                            "\xc3\xa9v\xc3\xa9nement EVENT", ""};
    ASSERT_TRUE(writenamesfile(path(), names));
    const std::string text = readFile(path());
    EXPECT_NE(text.find("<options number=\"4\""), std::string::npos);
    EXPECT_NE(text.find("<name0 string=\"YY-MM-DD\""), std::string::npos);

    std::vector<std::string> list = {"already"};
    EXPECT_TRUE(readnamesfile(path(), list, port));
    EXPECT_EQ(port.count(), 0u);
    std::vector<std::string> expected = {"already"};
    expected.insert(expected.end(), names.begin(), names.end());
    EXPECT_EQ(list, expected);
}

TEST_F(NamesFile, MissingFileIsNotAnError) {
    std::vector<std::string> list;
    EXPECT_TRUE(readnamesfile(path(), list, port));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(NamesFile, UnreadableFilesKeepWhatWasReadAndAreReported) {
    const std::string full = "<?xml version=\"1.0\"?>\n<Auto-names>\n  <options number=\"2\" />\n"
                             "  <name0 string=\"a\" />\n  <name1 string=\"b\" />\n</Auto-names>\n";
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"count beyond the entries",
         "<Auto-names><options number=\"3\"/><name0 string=\"a\"/><name1 string=\"b\"/></Auto-names>",
         {"a", "b"}},
        {"entry without string",
         "<Auto-names><options number=\"2\"/><name0 string=\"a\"/><name1/></Auto-names>",
         {"a"}},
        {"no options", "<Auto-names><name0 string=\"a\"/></Auto-names>", {}},
        {"count not a number", "<Auto-names><options number=\"two\"/></Auto-names>", {}},
        {"other root", "<Names><options number=\"0\"/></Names>", {}},
        {"truncated", full.substr(0, full.size() - 20), {}},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11), {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port.clear();
        writeFile(path(), c.text);
        std::vector<std::string> list;
        EXPECT_FALSE(readnamesfile(path(), list, port));
        EXPECT_EQ(list, c.kept);
        ASSERT_EQ(port.count(), 1u);
        EXPECT_EQ(port.entries()[0].text, "Can't Load Naming Rules");
        EXPECT_EQ(port.entries()[0].icon, MessageIcon::Information);
    }
}

TEST_F(NamesFile, NegativeCountReadsNothing) {
    writeFile(path(), "<Auto-names><options number=\"-3\"/><name0 string=\"a\"/></Auto-names>");
    std::vector<std::string> list;
    EXPECT_TRUE(readnamesfile(path(), list, port));
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace quimbrel
