// The naming dialog: what it refuses, what it stores, and its list of remembered templates.
#include "AppFixture.h"

#include "Tnamingrules.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/names.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace quimbrel;
using namespace apptest;

namespace {

struct NamingTest : ::testing::Test {
    void SetUp() override {
        ensureApplication();
        defaultconfig(cfg);
    }
    config cfg;
    std::vector<std::string> names;
    RecordingMessagePort port;
};

} // namespace

TEST_F(NamingTest, RefusesIllegalCharactersAndBadNumbers) {
    const std::string illegal =
        "File name contain one of illegal symbols: /,\\,:,*,?,\",<,>,|. Please correct your input.";
    for (const char* bad : {"rec:NUM", "a/b", "a\\b", "what?", "x*y", "\"q\"", "<a>", "a|b"}) {
        Tnamingrules dialog(cfg, names, nullptr, &port);
        dialog.templatebox()->setEditText(QString::fromLatin1(bad));
        EXPECT_FALSE(dialog.OkClick()) << bad;
    }
    ASSERT_EQ(port.count(), 8u);
    EXPECT_EQ(port.entries()[0].text, illegal);
    EXPECT_EQ(cfg.autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_TRUE(names.empty());

    port.clear();
    Tnamingrules dialog(cfg, names, nullptr, &port);
    dialog.templatebox()->setEditText(QStringLiteral("rec-NUM"));
    dialog.numberfield()->setText(QString());
    EXPECT_FALSE(dialog.OkClick());
    dialog.numberfield()->setText(QStringLiteral("99999999999"));
    EXPECT_FALSE(dialog.OkClick());
    ASSERT_EQ(port.count(), 2u);
    EXPECT_EQ(port.entries()[0].text, "'' is not a valid integer value");
    EXPECT_EQ(port.entries()[1].text, "'99999999999' is not a valid integer value");
    EXPECT_EQ(cfg.autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_EQ(cfg.autoname.number, 100);
}

TEST_F(NamingTest, NumberFieldTakesDigitsOnly) {
    Tnamingrules dialog(cfg, names, nullptr, &port);
    dialog.numberfield()->clear();
    QTest::keyClicks(dialog.numberfield(), QStringLiteral("4a-2 x9"));
    EXPECT_EQ(dialog.numberfield()->text(), QStringLiteral("429"));
}

TEST_F(NamingTest, StoresTemplateAndNumberAndRemembersEachTemplateOnceIgnoringCase) {
    cfg.numoffset = 4;
    {
        Tnamingrules dialog(cfg, names, nullptr, &port);
        EXPECT_EQ(dialog.numberfield()->text(), QStringLiteral("100"));
        EXPECT_EQ(dialog.templatebox()->currentText(), QStringLiteral("YY-MM-DD-HH-NN-SS"));
        dialog.templatebox()->setEditText(QStringLiteral("Rec-NUM"));
        EXPECT_TRUE(dialog.OkClick());
    }
    EXPECT_EQ(cfg.autoname.expression, "Rec-NUM");
    EXPECT_EQ(cfg.numoffset, 4); // same start number: the count goes on
    {
        Tnamingrules dialog(cfg, names, nullptr, &port);
        dialog.templatebox()->setEditText(QStringLiteral("rec-num"));
        dialog.numberfield()->setText(QStringLiteral("5"));
        EXPECT_TRUE(dialog.OkClick());
    }
    EXPECT_EQ(cfg.autoname.expression, "rec-num");
    EXPECT_EQ(cfg.autoname.number, 5);
    EXPECT_EQ(cfg.numoffset, 0); // a new start number restarts the count
    {
        Tnamingrules dialog(cfg, names, nullptr, &port);
        dialog.templatebox()->setEditText(QStringLiteral("Alpha-HH"));
        EXPECT_TRUE(dialog.OkClick());
    }
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "Rec-NUM");
    EXPECT_EQ(names[1], "Alpha-HH");
    EXPECT_EQ(port.count(), 0u);

    // Shown in alphabetical order.
    Tnamingrules dialog(cfg, names, nullptr, &port);
    ASSERT_EQ(dialog.templatebox()->count(), 2);
    EXPECT_EQ(dialog.templatebox()->itemText(0), QStringLiteral("Alpha-HH"));
    EXPECT_EQ(dialog.templatebox()->itemText(1), QStringLiteral("Rec-NUM"));
}

TEST_F(NamingTest, TestAndDefaultButtons) {
    Tnamingrules dialog(cfg, names, nullptr, &port);
    dialog.templatebox()->setEditText(QStringLiteral("EVENT_NUM"));
    dialog.numberfield()->setText(QStringLiteral("7"));
    dialog.TestClick();
    EXPECT_EQ(dialog.example()->text(), QStringLiteral("For example: My scheduled record_007.mp3"));
    dialog.templatebox()->setEditText(QStringLiteral("a:b"));
    dialog.TestClick(); // no character check here
    EXPECT_EQ(dialog.example()->text(), QStringLiteral("For example: a:b.mp3"));
    dialog.DefaultClick();
    EXPECT_EQ(dialog.templatebox()->currentText(), QStringLiteral("YY-MM-DD-HH-NN-SS"));
    EXPECT_EQ(cfg.autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_EQ(port.count(), 0u);
}
