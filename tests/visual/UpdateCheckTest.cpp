// The update check against an HTTPS server on 127.0.0.1 whose certificate a test CA, made here, signs:
// the outcomes the user sees, failed downloads, the request itself, and ending a running check.
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"
#include "visual/TmGetNewVer.h"
#include "visual/VersionCompare.h"

#include "UpdateSite.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

using namespace quimbrel;
using namespace updatetest;
using namespace std::chrono_literals;

namespace {

VersionInfo own(const std::string& version) {
    return {version, "Quimbrel", "Audio recorder", true};
}

class UpdateCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() { site = new Site; }
    static void TearDownTestSuite() {
        delete site;
        site = nullptr;
    }

    // A check trusting the test CA (or not), with the dialogs of the settings button or of start-up.
    std::unique_ptr<TmGetNewVer> make(const std::string& version, bool fromButton, bool trustTestCa = true) {
        if (trustTestCa)
            setenv("QUIMBREL_CA_FILE", site->caFile().c_str(), 1);
        auto check = std::make_unique<TmGetNewVer>(dispatcher, messages, own(version));
        unsetenv("QUIMBREL_CA_FILE");
        check->setSiteName("quimbrel.invalid");
        check->setFailureDlg(fromButton);
        check->setNoUpdatesDlg(fromButton);
        check->setPageOpener([this](const std::string& page) {
            opened.push_back(page);
            return true;
        });
        return check;
    }

    void runToEnd(TmGetNewVer& check, const std::string& url) {
        check.setURLCurrVerFile(url);
        check.Check();
        dispatcher.runUntil([&] { return !check.Busy(); }, 24h);
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : messages.entries())
            out.push_back(e.text);
        return out;
    }

    static Site* site;
    Dispatcher dispatcher;
    RecordingMessagePort messages;
    std::vector<std::string> opened;
};

Site* UpdateCheck::site = nullptr;

} // namespace

TEST(VersionComparison, WeighsFourPartsAndRefusesOtherTexts) {
    struct Case {
        const char* newVersion;
        const char* ownVersion;
        bool newer;
        bool error;
    };
    const Case cases[] = {
        {"7.0.1.0", "7.0.0.0", true, false},
        {"7.0.0.0", "7.0.0.0", false, false},
        {"6.9.9.9", "7.0.0.0", false, false},
        {"7.0.0.1", "7.0.0.0", true, false},
        // A part above 99 spills into the next one.
        {"1.0.100.0", "1.1.0.0", false, false},
        {"1.1.0.0", "1.0.100.0", false, false},
        {"1.0.100.1", "1.1.0.0", true, false},
        // Parts large enough to overflow a 32-bit weight still compare.
        {"3000.0.0.0", "2999.0.0.0", true, false},
        // Without a "." the new one is never newer, whatever it says.
        {"8", "7.0.0.0", false, false},
        {"", "7.0.0.0", false, false},
        {"7.0.1.0", "7", false, false},
        // Other than four numbers: an error, never an offer.
        {"7.0.1", "7.0.0.0", false, true},
        {"7.0.1.0.0", "7.0.0.0", false, true},
        {"7.0.x.0", "7.0.0.0", false, true},
        {"7.0..0", "7.0.0.0", false, true},
        {"7.0. 1.0", "7.0.0.0", false, true},
        {"7.0.99999999999.0", "7.0.0.0", false, true},
        {"7.0.1.0", "7.0.0", false, true},
    };
    for (const Case& c : cases) {
        const VersionComparison r = isNewerVersion(c.newVersion, c.ownVersion);
        EXPECT_EQ(r.newer, c.newer) << c.newVersion << " vs " << c.ownVersion;
        EXPECT_EQ(!r.error.empty(), c.error) << c.newVersion << " vs " << c.ownVersion << ": " << r.error;
    }
}

TEST(UpdateAddress, EnvironmentOverridesTheBuildsAddressAndNamesTheSite) {
    unsetenv("QUIMBREL_UPDATE_URL");
    EXPECT_EQ(siteName(updateAddress()).empty(), false) << updateAddress();
    setenv("QUIMBREL_UPDATE_URL", "https://updates.example.org:8443/quimbrel.xml", 1);
    EXPECT_EQ(updateAddress(), "https://updates.example.org:8443/quimbrel.xml");
    EXPECT_EQ(siteName(updateAddress()), "updates.example.org");
    unsetenv("QUIMBREL_UPDATE_URL");
    EXPECT_EQ(siteName("https://user@[::1]:9/x"), "::1");
    EXPECT_EQ(siteName("no address"), "");
}

TEST_F(UpdateCheck, WhatTheUserIsShownForEachDocument) {
    const std::string offer =
        "There is a new version 7.0.1.0 of this program\navailable at quimbrel.invalid\n"
        "Do you want to download it now?";
    const std::string latest = "You already have the latest version 7.0.0.0 of this program";
    struct Case {
        const char* what;
        std::string ownVersion;
        std::string body;
        bool fromButton;
        MessageResult answer;
        std::vector<std::string> shown; // a text ending in "..." is matched by its beginning
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {"newer, Yes",
         "7.0.0.0",
         document("7.0.1.0"),
         true,
         MessageResult::Yes,
         {offer},
         {"https://quimbrel.invalid/new"}},
        {"newer, No", "7.0.0.0", document("7.0.1.0"), true, MessageResult::No, {offer}, {}},
        {"newer at start-up",
         "7.0.0.0",
         document("\n   7.0.1.0\n  "),
         false,
         MessageResult::Yes,
         {offer},
         {"https://quimbrel.invalid/new"}},
        {"same at start-up", "7.0.0.0", document("7.0.0.0"), false, MessageResult::None, {}, {}},
        {"same from the button", "7.0.0.0", document("7.0.0.0"), true, MessageResult::None, {latest}, {}},
        {"older", "7.0.0.0", document("6.9.9.99"), true, MessageResult::None, {latest}, {}},
        {"spilled part",
         "1.1.0.0",
         document("1.0.100.0"),
         true,
         MessageResult::None,
         {"You already have the latest version 1.1.0.0 of this program"},
         {}},
        {"no dot", "7.0.0.0", document("8"), true, MessageResult::None, {latest}, {}},
        {"bad version text",
         "7.0.0.0",
         document("7.0.1"),
         true,
         MessageResult::None,
         {"Invalid file version information from: ..."},
         {}},
        {"bad version text at start-up", "7.0.0.0", document("7.x.1.0"), false, MessageResult::None, {}, {}},
        {"not XML",
         "7.0.0.0",
         "<Updates><Program_Info>",
         true,
         MessageResult::None,
         {"Invalid file version information from: ..."},
         {}},
        {"no version element",
         "7.0.0.0",
         "<Updates/>",
         true,
         MessageResult::None,
         {"Invalid file version information from: ..."},
         {}},
        {"newer with a page that is no web address",
         "7.0.0.0",
         document("7.0.1.0", "file:///etc/passwd"),
         true,
         MessageResult::Yes,
         {"Invalid file version information from: ..."},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        opened.clear();
        if (c.answer != MessageResult::None)
            messages.queueAnswer(c.answer);
        auto check = make(c.ownVersion, c.fromButton);
        std::string seenVersion;
        std::string seenPage;
        check->setOnGetURL([&](TmGetNewVer& sender, const std::string& version, const std::string& page) {
            EXPECT_EQ(&sender, check.get());
            seenVersion = version;
            seenPage = page;
        });
        const std::string url = site->publish("quimbrel.xml", c.body);
        runToEnd(*check, url);
        const std::vector<std::string> shown = texts();
        ASSERT_EQ(shown.size(), c.shown.size()) << (shown.empty() ? "" : shown.front());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::string& want = c.shown[i];
            if (want.ends_with("..."))
                EXPECT_EQ(shown[i].substr(0, want.size() - 3), want.substr(0, want.size() - 3)) << shown[i];
            else
                EXPECT_EQ(shown[i], want);
        }
        EXPECT_EQ(opened, c.opened);
        if (c.what == std::string("newer, Yes")) {
            EXPECT_EQ(seenVersion, "7.0.1.0");
            EXPECT_EQ(seenPage, "https://quimbrel.invalid/new");
            EXPECT_EQ(messages.entries()[0].buttons, MessageButtons::YesNo);
        }
    }
}

TEST_F(UpdateCheck, FailedDownloadsAreReportedOnlyFromTheButton) {
    site->publish("quimbrel.xml", document("7.0.1.0"));
    site->publish("big.xml", document("7.0.1.0") + "<!--" + std::string(2 * 1024 * 1024, 'x') + "-->");
    // A port that refuses connections: bound, never listening.
    const int refusing = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(refusing, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(refusing, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string noServer =
        "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/quimbrel.xml";

    struct Case {
        const char* what;
        std::string url;
        bool trustTestCa;
    };
    const Case cases[] = {
        {"short body", site->url("short", "quimbrel.xml"), true},
        {"no declared length", site->url("nolength", "quimbrel.xml"), true},
        {"not found", site->url("files", "missing.xml"), true},
        {"2 MiB body", site->url("files", "big.xml"), true},
        {"certificate that does not verify", site->url("files", "quimbrel.xml"), false},
        {"no server", noServer, true},
        {"plain HTTP", "http://127.0.0.1:1/quimbrel.xml", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool fromButton : {true, false}) {
            messages.clear();
            auto check = make("7.0.0.0", fromButton, c.trustTestCa);
            runToEnd(*check, c.url);
            if (!fromButton) {
                EXPECT_EQ(messages.count(), 0u);
                continue;
            }
            ASSERT_EQ(messages.count(), 1u);
            EXPECT_EQ(messages.entries()[0].text,
                      "Could not download file version information from: \n" + c.url);
            EXPECT_EQ(messages.entries()[0].icon, MessageIcon::Error);
        }
    }
    close(refusing);
    // The same document through a path that works: the failures above were the transport's.
    auto check = make("7.0.0.0", true);
    messages.queueAnswer(MessageResult::No);
    runToEnd(*check, site->url("files", "quimbrel.xml"));
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].buttons, MessageButtons::YesNo);
}

TEST_F(UpdateCheck, AsksAsCheckUpdatesForAFreshCopy) {
    site->clearLog();
    auto check = make("7.0.0.0", true);
    runToEnd(*check, site->publish("quimbrel.xml", document("7.0.0.0")));
    const std::string log = site->requestLog();
    EXPECT_NE(log.find("\"User-Agent\": \"Check updates\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"Cache-Control\": \"no-cache\""), std::string::npos) << log;
}

TEST_F(UpdateCheck, ASecondCheckEndsTheRunningOneAndDestructionEndsAHungOne) {
    site->clearLog();
    auto check = make("7.0.0.0", true);
    check->setURLCurrVerFile(site->url("hang"));
    check->Check();
    // Wait until the first request hangs at the server.
    dispatcher.runUntil([&] { return site->requestLog().find("/hang") != std::string::npos; }, 24h);
    EXPECT_TRUE(check->Busy());
    runToEnd(*check, site->publish("quimbrel.xml", document("7.0.0.0")));
    // Only the second check's outcome: the first was ended, not reported as a failure.
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].text, "You already have the latest version 7.0.0.0 of this program");

    messages.clear();
    site->clearLog();
    check->setURLCurrVerFile(site->url("hang"));
    check->Check();
    dispatcher.runUntil([&] { return site->requestLog().find("/hang") != std::string::npos; }, 24h);
    check.reset();
    dispatcher.runPending();
    EXPECT_EQ(messages.count(), 0u);
}

TEST_F(UpdateCheck, AServerThatNeverAnswersTimesOut) {
    auto check = make("7.0.0.0", true);
    check->setTimeout(300ms);
    runToEnd(*check, site->url("hang"));
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].text,
              "Could not download file version information from: \n" + site->url("hang"));
}
