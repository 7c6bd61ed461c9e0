// The exact command sequences of the download and the two playback routines,
// seen through a recording driver, and how their outcome is judged.

#include <gtest/gtest.h>

#include <stop_token>
#include <string>
#include <vector>

#include "Instrument/Download.h"
#include "Instrument/PlayLists.h"
#include "RecordingDriver.h"
#include "platform/ScriptedDialogs.h"

using namespace onex;
using onex::platform::ScriptedDialogs;
using namespace onex::testdriver;
using Lines = std::vector<std::string>;
using C = std::complex<double>;

namespace {

IoConfig rs232(double baud, const char* type = "RS232") {
    IoConfig c;
    c.type = type;
    c.RS232->baudrate = baud;
    return c;
}

SigGenSettings settings() {
    return testplay::listSettings(false);
}

const Lines kDownloadWhenOff = {
    "timeout 10000", "query :SOUR:RAD:ARB:STATe?", "send :SOUR:RAD:ARB:STATe OFF", "download WAVE",
    "send \n",       "send :OUTPUT:MOD ON",
};

Lines withArbOn(Lines l) {
    l.insert(l.end() - 1, "send :SOUR:RAD:ARB:STATe ON");
    return l;
}

// Answers the ARB state query with `state`; fails the operation whose trace
// text is `failing` with status 7.
void script(RecordingDriver& d, std::string state, std::string failing = "") {
    d.reply = [state, failing](const Op& op) -> Status {
        std::string t = op.code == kHwSend       ? "send " + op.text
                        : op.code == kHwQuery    ? "query " + op.text
                        : op.code == kHwDownload ? "download " + op.text
                                                 : "";
        if (!failing.empty() && t == failing) return {7, "failed: " + t};
        if (op.code == kHwQuery) return {0, state};
        return {0, ""};
    };
}

Status download(const IoConfig& c, ScriptedDialogs& dialogs, std::size_t n = 8,
                std::optional<double> segments = std::nullopt) {
    std::vector<C> data(n, C(0.5, -0.25));
    std::vector<double> m1(n, 1), m2(n, 0);
    return TARNDownLoadWrap(data, {m1, m2}, "WAVE", c, dialogs, segments);
}

}  // namespace

TEST(DownloadSequence, RestoresThePlayerOnlyWhenItWasOn) {
    struct Case {
        std::string reply;
        bool restored;
    };
    for (const Case& k : {Case{"1", true}, Case{"+1", true}, Case{" 1.0\r", true}, Case{"0", false},
                          Case{"2", false}}) {
        RecordingDriver d;
        script(d, k.reply);
        ScriptedDialogs dialogs;
        Status s = download(lan(), dialogs);
        EXPECT_EQ(s.status, 0) << k.reply;
        EXPECT_EQ(s.response, "") << k.reply;
        EXPECT_EQ(d.trace(), k.restored ? withArbOn(kDownloadWhenOff) : kDownloadWhenOff)
            << k.reply;
    }
}

TEST(DownloadSequence, PassesTheWaveformMarkersAndNameUnchanged) {
    RecordingDriver d;
    ScriptedDialogs dialogs;
    std::vector<C> data = {{0.1, -0.2}, {-1, 0.5}, {0, 0}};
    std::vector<double> m1 = {1, 0, 1}, m2 = {0, 0, 1};
    Status s = TARNDownLoadWrap(data, {m1, m2}, "OneX-Rev", lan(), dialogs);
    EXPECT_EQ(s.status, 0);
    const Op& op = d.ops.at(3);
    ASSERT_EQ(op.code, kHwDownload);
    EXPECT_EQ(op.data, data);
    EXPECT_EQ(op.marker1, m1);
    EXPECT_EQ(op.marker2, m2);
    EXPECT_EQ(op.text, "OneX-Rev");
    EXPECT_EQ(op.extraTexts, Lines{"norm"});
    EXPECT_EQ(op.extraNumber, 1.0);
    EXPECT_EQ(d.ops.at(0).number, 10000.0);  // milliseconds: 10 s
}

TEST(DownloadSequence, AnUnreadableStateReplyLeavesThePlayerOffAndFails) {
    for (const char* reply : {"#!garbage,,", "", "ON", "1x", "nan", "0x1"}) {
        RecordingDriver d;
        script(d, reply);
        ScriptedDialogs dialogs;
        Status s = download(lan(), dialogs);
        EXPECT_EQ(s.status, kUnusableReply) << reply;
        EXPECT_NE(s.response.find("not a number"), std::string::npos) << s.response;
        EXPECT_NE(s.response.find(":SOUR:RAD:ARB:STATe?"), std::string::npos) << s.response;
        // The rest of the sequence still ran, without switching the player on.
        EXPECT_EQ(d.trace(), kDownloadWhenOff) << reply;
    }
}

TEST(DownloadSequence, EveryStepIsTriedAndTheFirstFailureIsReported) {
    // Each failing step in turn: the later steps still run, and the pair
    // returned is the failing step's even though the steps after it succeed.
    const Lines all = withArbOn(kDownloadWhenOff);
    for (std::size_t i = 1; i < all.size(); ++i) {
        RecordingDriver d;
        script(d, "1", all[i]);
        ScriptedDialogs dialogs;
        Status s = download(lan(), dialogs);
        EXPECT_EQ(s.status, 7) << all[i];
        // A failed store ends with the RF output switched off; the scripted
        // instrument says it is still on ("1" to every query).
        const bool store = all[i] == "download WAVE";
        EXPECT_EQ(s.response, "failed: " + all[i] +
                                  (store ? ". Switching the RF output off could not be confirmed "
                                           "(the instrument answered :OUTPut:STATe? with \"1\"): "
                                           "the RF output may still be on."
                                         : ""));
        // A failed state query gives no state: the player is not switched on.
        Lines expected = i == 1 ? kDownloadWhenOff : all;
        if (store)
            expected.insert(expected.end(), {"send :OUTPut:STATe OFF", "query :OUTPut:STATe?"});
        EXPECT_EQ(d.trace(), expected) << all[i];
    }
    // With two failures the first one is reported.
    RecordingDriver d;
    d.reply = [](const Op& op) -> Status {
        if (op.code == kHwDownload) return {5, "download rejected"};
        if (op.code == kHwSend && op.text == ":OUTPUT:MOD ON") return {4, "connection lost"};
        return {0, op.code == kHwQuery ? "0" : ""};
    };
    ScriptedDialogs dialogs;
    Status s = download(lan(), dialogs);
    EXPECT_EQ(s.status, 5);
    EXPECT_EQ(s.response, "download rejected. The RF output was switched off.");
}

TEST(DownloadSequence, AFailedTimeOutIsReportedButTheDownloadStillRuns) {
    RecordingDriver d;
    d.reply = [](const Op& op) -> Status {
        if (op.code == kHwSetTimeout) return {1, "no time-out"};
        return {0, op.code == kHwQuery ? "0" : ""};
    };
    ScriptedDialogs dialogs;
    Status s = download(lan(), dialogs);
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.response, "no time-out");
    EXPECT_EQ(d.trace(), kDownloadWhenOff);
}

TEST(DownloadSequence, Rs232TimeQuestion) {
    // 19200 baud: 24000 samples take 32 x 24000 x 1.125 / 19200 / 60 = 0.75
    // minutes exactly, which is not more than 0.75: no question.
    {
        RecordingDriver d;
        ScriptedDialogs dialogs;
        EXPECT_EQ(download(rs232(19200), dialogs, 24000).status, 0);
        EXPECT_TRUE(dialogs.shown().empty());
        EXPECT_EQ(d.trace(), kDownloadWhenOff);
    }
    // One sample more asks, showing 0.750031... as 0.8; OK goes on.
    {
        RecordingDriver d;
        ScriptedDialogs dialogs;
        dialogs.answerQuestion("OK");
        EXPECT_EQ(download(rs232(19200), dialogs, 24001).status, 0);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        const auto& q = dialogs.shown()[0];
        EXPECT_EQ(q.kind, ScriptedDialogs::Kind::Question);
        EXPECT_EQ(q.title, "RS-232 Download");
        EXPECT_EQ(q.text,
                  "This download will take approximately 0.8 minutes. Do you want to continue?");
        EXPECT_EQ(q.choices, (Lines{"OK", "Cancel"}));
        EXPECT_EQ(q.defaultChoice, "Cancel");
        EXPECT_EQ(d.trace(), kDownloadWhenOff);
    }
    // Cancel or closing the window: nothing is sent after the time-out.
    for (const char* answer : {"Cancel", ""}) {
        RecordingDriver d;
        ScriptedDialogs dialogs;
        dialogs.answerQuestion(answer);
        Status s = download(rs232(19200, "rs232"), dialogs, 100000);
        EXPECT_EQ(s.status, -1);
        EXPECT_EQ(s.response, "Download cancelled");
        EXPECT_EQ(d.trace(), Lines{"timeout 10000"});
        // 32 x 100000 x 1.125 / 19200 / 60 = 3.125 minutes
        EXPECT_NE(dialogs.shown().at(0).text.find("approximately 3.1 minutes"), std::string::npos);
    }
}

TEST(DownloadSequence, Rs232SegmentsScaleTheEstimate) {
    // 12001 samples alone are 0.375 minutes; two segments make 0.750063 (asks),
    // 0 segments count as one (does not ask).
    {
        RecordingDriver d;
        ScriptedDialogs dialogs;
        dialogs.answerQuestion("OK");
        EXPECT_EQ(download(rs232(19200), dialogs, 12001, 2.0).status, 0);
        EXPECT_EQ(dialogs.shown().size(), 1u);
    }
    for (std::optional<double> segments :
         {std::optional<double>(0.0), std::optional<double>(), std::optional<double>(1.0)}) {
        RecordingDriver d;
        ScriptedDialogs dialogs;
        EXPECT_EQ(download(rs232(19200), dialogs, 24000, segments).status, 0);
        EXPECT_TRUE(dialogs.shown().empty());
        ScriptedDialogs asked;
        asked.answerQuestion("Cancel");
        EXPECT_EQ(download(rs232(19200), asked, 24001, segments).status, -1);
    }
}

TEST(DownloadSequence, LanAndGpibNeverAsk) {
    IoConfig gpib;
    gpib.RS232->baudrate = 300;  // not the selected connection
    for (const IoConfig& c : {lan(), gpib}) {
        RecordingDriver d;
        ScriptedDialogs dialogs;  // any question would throw
        EXPECT_EQ(download(c, dialogs, 2000000).status, 0);
        EXPECT_TRUE(dialogs.shown().empty());
    }
}

// Each line sent, then the closing check and the return to local.
Lines played(char platform) {
    Lines expected;
    for (const std::string& line : testplay::playList(platform))
        expected.push_back("send " + line);
    for (const char* closing : {"query *OPC?", "query :SYSTem:ERRor?", "local"})
        expected.push_back(closing);
    return expected;
}

TEST(PlaySequence, PlatformBCommandLines) {
    RecordingDriver d;
    Status st = TARNPlay(testplay::kName, testplay::listSettings(false), lan());
    EXPECT_EQ(st.status, 0);
    ASSERT_EQ(testplay::playList('b').size(), 11u);
    EXPECT_EQ(d.trace(), played('b'));
}

TEST(PlaySequence, PlatformBChoices) {
    struct Case {
        double recon, blank, polarity, ref;
        std::string filter, blankText, polarityText, refText;
    };
    for (const Case& k : {Case{1, 1, 1, 1, "250.0khz", "on", "Neg", "ext"},
                          Case{3, 2, 0, 0, "8Mhz", "off", "Pos", "int"},
                          Case{4, 0, 2, 5, "through", "off", "Neg", "ext"},
                          Case{5, 0, 0, 0, "through", "off", "Pos", "int"}}) {
        SigGenSettings s = settings();
        s.ReconFilter = k.recon;
        s.RFblanking = k.blank;
        s.MarkerPolarity = k.polarity;
        s.ArbRefSource = k.ref;
        Lines l = tarnPlayCommands("X", s);
        ASSERT_EQ(l.size(), 11u);
        EXPECT_EQ(l[5], " :source:rad:arb:rfilter " + k.filter);
        EXPECT_EQ(l[6], " :source:rad:arb:marker:rfblank " + k.blankText);
        EXPECT_EQ(l[7], " :source:rad:arb:marker:polarity " + k.polarityText);
        EXPECT_EQ(l[8], " :source:rad:arb:clock:ref " + k.refText);
    }
}

TEST(PlaySequence, PlatformCCommandLines) {
    RecordingDriver d;
    SigGenSettings s = testplay::listSettings(true);
    EXPECT_EQ(TARNPlay_c(testplay::kName, s, lan()).status, 0);
    ASSERT_EQ(testplay::playList('c').size(), 16u);
    EXPECT_EQ(d.trace(), played('c'));

    // BBfilter 2 and 0, ALC 1 and 2.
    s.BBfilter = 2;
    s.ALC = 2;
    auto l = tarnPlayCCommands("X", s);
    ASSERT_TRUE(l);
    EXPECT_EQ((*l)[5], " :source:dm:bbfilter 40MHz");
    EXPECT_EQ((*l)[9], " :pow:alc:state on");
    s.BBfilter = 0;
    s.ALC = 1;
    l = tarnPlayCCommands("X", s);
    EXPECT_EQ((*l)[5], " :source:dm:bbfilter Through");
    EXPECT_EQ((*l)[9], " :pow:alc:state on");
}

TEST(PlaySequence, FirstFailingLineIsReportedAndTheListCompletes) {
    RecordingDriver d;
    const auto ok = d.reply;
    d.reply = [ok](const Op& op) -> Status {
        if (op.code == kHwSend && op.text.find("freq:fix") != std::string::npos)
            return {2, "cannot reach"};
        if (op.code == kHwReturnLocal) return {9, "local failed"};
        return ok(op);
    };
    Status s = TARNPlay("1xEV", settings(), lan());
    EXPECT_EQ(s.status, 2);
    EXPECT_EQ(s.response, "cannot reach. The RF output was switched off.");
    // Every line, the check, the RF output off and asked, then the return to local.
    EXPECT_EQ(d.ops.size(), 16u);

    // Only the return to local failing: its result is not judged.
    d.ops.clear();
    d.reply = [ok](const Op& op) -> Status {
        return op.code == kHwReturnLocal ? Status{9, "local failed"} : ok(op);
    };
    EXPECT_EQ(TARNPlay("1xEV", settings(), lan()).status, 0);
    EXPECT_EQ(d.ops.size(), 14u);
}

// Sends only hand a line over: what the instrument made of the list shows in
// the check that ends it.
TEST(PlaySequence, TheClosingCheckJudgesTheList) {
    RecordingDriver d;
    const auto ok = d.reply;
    std::vector<std::string> queue;
    d.reply = [&](const Op& op) -> Status {
        if (op.code == kHwQuery && op.text == ":SYSTem:ERRor?") {
            if (queue.empty()) return ok(op);
            std::string e = queue.front();
            queue.erase(queue.begin());
            return {0, e};
        }
        return ok(op);
    };
    queue = {"-256,\"File name not found;1xEV\"", "-221,\"Settings conflict\""};
    Status s = TARNPlay("1xEV", settings(), lan());
    EXPECT_EQ(s.status, 5);
    EXPECT_EQ(s.response,
              "The instrument refused a setting: -256,\"File name not found;1xEV\"; "
              "-221,\"Settings conflict\". The RF output was switched off.");
    const Lines end = {"send :OUTPut:STATe OFF", "query :OUTPut:STATe?", "local"};
    const Lines trace = d.trace();
    EXPECT_EQ(Lines(trace.end() - 3, trace.end()), end);

    // A connection lost after the last line: *OPC? fails, and so does the list.
    d.reply = [ok](const Op& op) -> Status {
        if (op.code == kHwQuery && op.text == "*OPC?") return {4, "the instrument closed"};
        return ok(op);
    };
    SigGenSettings c = settings();
    c.BBfilter = 1;
    c.Scaling = 70;
    c.ModAtten = 2;
    c.ALC = 1;
    s = TARNPlay_c("1xEV", c, lan());
    EXPECT_EQ(s.status, 4);
    EXPECT_EQ(s.response, "the instrument closed. The RF output was switched off.");

    // Nothing ever reached the instrument: nothing of ours can be on, and
    // nothing more is tried.
    d.ops.clear();
    d.reply = [](const Op& op) -> Status {
        return op.code == kHwReturnLocal ? Status{0, ""} : Status{2, "cannot connect"};
    };
    s = TARNPlay("1xEV", settings(), lan());
    EXPECT_EQ(s.response, "cannot connect");
    EXPECT_EQ(d.ops.size(), 13u);  // the lines, *OPC? and the return to local
}

// A cancel request stops a sequence at its next step: nothing more is sent,
// not even the return to local, and the routine says it was cancelled.
TEST(Sequences, ACancelRequestStopsAtTheNextStep) {
    RecordingDriver d;
    const auto ok = d.reply;
    std::stop_source cancel;
    const CancelScope scope(cancel.get_token());
    std::string cancelAt = "download";
    d.reply = [&](const Op& op) -> Status {
        if ((cancelAt == "download" && op.code == kHwDownload) ||
            (cancelAt == "freq" && op.text.find("freq:fix") != std::string::npos))
            cancel.request_stop();
        return ok(op);
    };
    std::vector<C> w(8, {0.5, 0.5});
    ScriptedDialogs dialogs;
    Status s = TARNDownLoadWrap(w, {}, "WAVE", lan(), dialogs);
    EXPECT_EQ(s.status, kCancelled);
    EXPECT_EQ(s.response, "Download cancelled");
    EXPECT_EQ(d.trace().back(), "download WAVE");

    cancel = std::stop_source();
    const CancelScope again(cancel.get_token());
    cancelAt = "freq";
    d.ops.clear();
    s = TARNPlay("1xEV", settings(), lan());
    EXPECT_EQ(s.status, kCancelled);
    EXPECT_EQ(s.response, "Instrument setup cancelled");
    EXPECT_EQ(d.trace().back(), "send  :source:freq:fix 1900000000Hz");
}

TEST(PlaySequence, UnsafeNamesAndMissingPlatformCFieldsAreRefusedBeforeSending) {
    RecordingDriver d;
    for (const char* name : {"A\" ;:OUTP OFF;\"", "A\nB", "A\rB"}) {
        Status s = TARNPlay(name, settings(), lan());
        EXPECT_EQ(s.status, kPlayRefused) << name;
        EXPECT_NE(s.response.find("nothing was sent"), std::string::npos);
        EXPECT_EQ(TARNPlay_c(name, settings(), lan()).status, kPlayRefused);
    }
    SigGenSettings s = settings();
    s.BBfilter = 1;
    s.Scaling = 70;
    s.ModAtten = 2;  // ALC missing
    Status st = TARNPlay_c("1xEV", s, lan());
    EXPECT_EQ(st.status, kPlayRefused);
    EXPECT_NE(st.response.find("ALC"), std::string::npos);
    EXPECT_TRUE(d.ops.empty());
}
