// The scripted dialogs that tests install: answers in order, every dialog
// recorded, anything unscripted refused loudly.

#include <gtest/gtest.h>

#include "platform/ScriptedDialogs.h"

using onex::platform::ScriptedDialogs;
using Kind = ScriptedDialogs::Kind;
using Texts = std::vector<std::string>;

TEST(ScriptedDialogs, AnswersInOrderAndRecordsEveryDialog) {
    ScriptedDialogs d;
    d.answerQuestion("Yes")
        .answerQuestion("")
        .expectMessage()
        .answerInput(Texts{"3", "0.5"})
        .answerInput(std::nullopt)
        .answerOpenFile("/data/x.mat")
        .answerSaveFile(std::nullopt)
        .expectError();
    EXPECT_EQ(d.questionBox("Go?", "Q", {"Yes", "Recalc", "Cancel"}, "Recalc"), "Yes");
    EXPECT_EQ(d.questionBox("Go?", "Q", {"OK", "Cancel"}, "Cancel"), "");  // closed
    d.messageBox("Done", "Download Completed", true);
    EXPECT_EQ(d.inputBox({"n:", "delay:"}, "Eye", 1, {"1", "0"}), (Texts{"3", "0.5"}));
    EXPECT_EQ(d.inputBox({"n:", "delay:"}, "Eye", 1, {"1", "0"}), std::nullopt);
    EXPECT_EQ(d.openFile("*.mat", "Open"), "/data/x.mat");
    EXPECT_EQ(d.saveFile("*.mat", "Save"), std::nullopt);
    d.errorBox("Could not open", "File Error", true);
    EXPECT_EQ(d.pending(), 0u);
    EXPECT_TRUE(d.failures().empty());

    const auto& s = d.shown();
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[0].kind, Kind::Question);
    EXPECT_EQ(s[0].text, "Go?");
    EXPECT_EQ(s[0].choices, (Texts{"Yes", "Recalc", "Cancel"}));
    EXPECT_EQ(s[0].defaultChoice, "Recalc");
    EXPECT_EQ(s[2].kind, Kind::Message);
    EXPECT_EQ(s[2].title, "Download Completed");
    EXPECT_TRUE(s[2].modal);
    EXPECT_EQ(s[3].defaults, (Texts{"1", "0"}));
    EXPECT_EQ(s[3].lineCount, 1);
    EXPECT_EQ(s[5].text, "*.mat");
    EXPECT_EQ(s[7].kind, Kind::Error);
    EXPECT_EQ(s[7].text, "Could not open");
}

TEST(ScriptedDialogs, UnscriptedOrMismatchedDialogsFailLoudly) {
    ScriptedDialogs d;
    EXPECT_THROW(d.messageBox("m", "t", true), ScriptedDialogs::Unscripted);
    d.answerQuestion("OK");
    EXPECT_THROW(d.errorBox("e", "t", true), ScriptedDialogs::Unscripted);  // wrong kind
    d.answerQuestion("Maybe");
    EXPECT_THROW(d.questionBox("q", "t", {"OK", "Cancel"}, "OK"), ScriptedDialogs::Unscripted);
    d.answerInput(Texts{"only one"});
    EXPECT_THROW(d.inputBox({"a", "b"}, "t", 1, {"", ""}), ScriptedDialogs::Unscripted);
    // Each failure is kept even when the exception is swallowed.
    EXPECT_EQ(d.failures().size(), 4u);
    EXPECT_NE(d.failures()[0].find("unscripted message box \"t\""), std::string::npos);
    EXPECT_EQ(d.shown().size(), 4u);
}
