// The Download and Refresh commands: corrections applied to the copy that is
// downloaded, play only after a successful download, the routine chosen by
// platform letter, and the message box that reports the outcome.

#include <gtest/gtest.h>

#include "CorrectionTestSupport.h"
#include "FileTestSupport.h"
#include "Instrument/DownloadCommand.h"
#include "RecordingDriver.h"
#include "platform/ScriptedDialogs.h"

using namespace onex;
using namespace onex::testcorr;
using onex::platform::ScriptedDialogs;
using namespace onex::testdriver;
using onex::testfiles::TempDir;
using Lines = std::vector<std::string>;

namespace {

SigGenSettings settings() {
    SigGenSettings s = InitializeSigGenSettings(2);
    s.Title = "OneX-Rev";
    s.Frequency = 1.9e9;
    return s;
}

struct Frame {
    std::vector<C> waveform = testWaveform(1000);
    std::vector<double> m1 = std::vector<double>(1000, 1), m2 = std::vector<double>(1000, 0);
};

const Op* downloadOp(const RecordingDriver& d) {
    for (const Op& op : d.ops)
        if (op.code == kHwDownload) return &op;
    return nullptr;
}

}  // namespace

TEST(DownloadCommand, CorrectedCopyIsDownloadedAndPlayed) {
    RecordingDriver d;
    TempDir dir;
    const std::vector<FlatRecord> recs = {{1, 2.0, kNaN}, {2, kNaN, std::polar(0.9, -0.4)}};
    writeCorrectionFile(dir / "US12345678 1.9 GHz.mat", recs);
    Frame f;
    const std::vector<C> original = f.waveform;
    ScriptedDialogs dialogs;
    CommandOutcome o =
        runDownloadCommand(f.waveform, {f.m1, f.m2}, settings(), lan(), "b", dialogs, dir.path());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.text, "Waveform has been successfully transferred to the instrument");
    EXPECT_EQ(o.title, "Download Completed");
    EXPECT_EQ(o.correctionStatus, "");
    EXPECT_EQ(o.correctionFile, dir / "US12345678 1.9 GHz.mat");
    EXPECT_EQ(o.rfChannelCorrections, 1);
    EXPECT_EQ(o.iqCorrections, 1);
    ASSERT_EQ(o.steps.size(), 2u);
    EXPECT_EQ(o.steps[0].routine, "TARNDownLoadWrap");
    EXPECT_EQ(o.steps[1].routine, "TARNPlay");

    const Op* dl = downloadOp(d);
    ASSERT_TRUE(dl);
    EXPECT_LT(maxDifference(dl->data, expectedCorrection(original, recs)), 1e-9);
    EXPECT_GT(maxDifference(dl->data, original), 0.01);
    EXPECT_EQ(dl->marker1, f.m1);
    EXPECT_EQ(dl->text, "OneX-Rev");
    EXPECT_EQ(f.waveform, original);  // the computed waveform stays as it was

    // The identity query comes first; the play list ends the traffic.
    const Lines t = d.trace();
    EXPECT_EQ(t.front(), "query *IDN?");
    EXPECT_EQ(t[1], "timeout 10000");
    EXPECT_EQ(t.back(), "local");
    EXPECT_EQ(t[t.size() - 4], "send  :output:state on");
}

TEST(DownloadCommand, WithoutUsableCorrectionsTheWaveformGoesOutUnchanged) {
    Frame f;
    TempDir dir;
    struct Case {
        const char* what;
        std::vector<FlatRecord> recs;  // empty: no file
        bool idnFails;
    };
    for (const Case& k : {Case{"no file", {}, false}, Case{"rev 4", {{4, 2.0, 0.5}}, false},
                          Case{"identity query fails", {{2, 2.0, 0.5}}, true}}) {
        std::filesystem::remove(dir / "US12345678 1.9 GHz.mat");
        if (!k.recs.empty()) writeCorrectionFile(dir / "US12345678 1.9 GHz.mat", k.recs);
        RecordingDriver d;
        if (k.idnFails) {
            auto ok = d.reply;
            d.reply = [ok](const Op& op) -> Status {
                if (op.code == kHwQuery && op.text == "*IDN?") return {2, "unreachable"};
                return ok(op);
            };
        }
        ScriptedDialogs dialogs;
        CommandOutcome o = runDownloadCommand(f.waveform, {f.m1, f.m2}, settings(), lan(), "b",
                                              dialogs, dir.path());
        EXPECT_EQ(o.status, 0) << k.what;
        EXPECT_FALSE(o.correctionStatus.empty()) << k.what;
        EXPECT_EQ(o.rfChannelCorrections + o.iqCorrections, 0) << k.what;
        const Op* dl = downloadOp(d);
        ASSERT_TRUE(dl) << k.what;
        EXPECT_EQ(dl->data, f.waveform) << k.what;  // bit for bit
    }
}

TEST(DownloadCommand, APlaybackFailureIsAnInstrumentSetupError) {
    Frame f;
    TempDir dir;  // empty: no corrections
    RecordingDriver d;
    d.reply = [](const Op& op) -> Status {
        if (op.code == kHwSend && op.text.find("freq:fix") != std::string::npos)
            return {4, "connection lost"};
        return {0, op.code == kHwQuery ? "0" : ""};
    };
    ScriptedDialogs dialogs;
    CommandOutcome o =
        runDownloadCommand(f.waveform, {f.m1, f.m2}, settings(), lan(), "b", dialogs, dir.path());
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.text, "connection lost. The RF output was switched off.");
    EXPECT_EQ(o.title, "Error Occured During Instrument Setup");
    EXPECT_EQ(o.steps.at(0).result.status, 0);
}

TEST(RefreshCommand, SendsOnlyTheSettingsAndShowsOnlyFailures) {
    RecordingDriver d;
    CommandOutcome o = runRefreshCommand(settings(), lan(), "b");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.title.empty());
    EXPECT_TRUE(o.text.empty());
    const Lines t = d.trace();
    ASSERT_EQ(t.size(), 14u);  // the eleven lines, the check and the return to local
    EXPECT_EQ(t[1], "send  :source:rad:arb:wav \"arbi:OneX-Rev\" ");
    EXPECT_EQ(downloadOp(d), nullptr);

    d.reply = [](const Op&) { return Status{2, "cannot connect"}; };
    o = runRefreshCommand(settings(), lan(), "b");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.text, "cannot connect");
    EXPECT_EQ(o.title, "Error Occured During Instrument Setup");
}
