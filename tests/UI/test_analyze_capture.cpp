// File / Analyze capture: the picker, the questions for what a file does not
// say, the window it opens as a client window, and the failures it shows.

#include <qcustomplot.h>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <bit>
#include <complex>
#include <fstream>
#include <vector>

#include "Displays/PlotWindow.h"
#include "Instrument/WaveformFiles.h"
#include "OneX/FrameBuilder.h"
#include "UI/UiTestSupport.h"

using namespace onex;
using namespace onex::uitest;

namespace {

constexpr const char* kStamp = "1xEV Reverse Link (21AUG2002 9:05:07)";

class AnalyzeCapture : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    void TearDown() override {
        if (!mainGone())
            for (const auto& w : state().appInfo.ClientWindows)
                delete w.data();
        AppTest::TearDown();
    }

    // Two and a half loops of the current parameter set's frame, recorded at
    // the signal generator's own clock from a third of the way in.
    std::vector<std::complex<double>> capture() {
        const double fs = state().SigGenSettings.SamplingRate;
        const FrameResult result = Calculate(state().parameters, fs);
        const auto frame = result.waveform;
        std::vector<std::complex<double>> out;
        for (std::size_t k = 0; k < frame.size() * 5 / 2; ++k)
            out.push_back(frame[(k + frame.size() / 3) % frame.size()]);
        return out;
    }
    std::string writeSigMF(const std::vector<std::complex<double>>& samples) {
        SigMFRecording r;
        r.samples = samples;
        r.sampleRate = state().SigGenSettings.SamplingRate;
        const std::string base = (folder() / "air").string();
        EXPECT_TRUE(saveSigMF(base, r).ok);
        return base + ".sigmf-meta";
    }
    void analyze() { trigger(w<QAction>("menuFileAnalyzeCapture")); }
    std::size_t clients() { return state().appInfo.ClientWindows.size(); }
    QWidget& lastClient() { return *state().appInfo.ClientWindows.back().data(); }
    std::string table() {
        return lastClient().findChild<QPlainTextEdit*>("table")->toPlainText().toStdString();
    }
};

}  // namespace

TEST_F(AnalyzeCapture, ASigMFRecordingOpensTheWindowAmongTheClients) {
    const std::string file = writeSigMF(capture());
    dialogs.answerOpenFile(file);
    analyze();
    EXPECT_EQ(dialogs.shown().front().kind, platform::ScriptedDialogs::Kind::OpenFile);
    ASSERT_EQ(clients(), 1u);
    EXPECT_EQ(lastClient().windowTitle().toStdString(), std::string("Capture Analysis ") + kStamp);
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");
    // Placed against the main window like the plot windows.
    EXPECT_EQ(lastClient().geometry().topLeft(),
              displays::displayPlace(&main(), displays::Placement::Standard).topLeft());

    // What was read, then the figures.
    EXPECT_EQ(table().rfind("File                        " + file + "\n", 0), 0u) << table();
    EXPECT_NE(table().find("SigMF recording"), std::string::npos) << table();
    EXPECT_NE(table().find("at 6144000 Sa/s, 2 frames analysed"), std::string::npos) << table();
    EXPECT_NE(table().find("\nFrequency error  "), std::string::npos) << table();
    trigger(*lastClient().findChild<QAction*>("copy"));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), table());

    // The views: every chip of the frame, and the pilot (the only channel on)
    // beside the inactive codes.
    auto* chips = lastClient().findChild<QCPGraph*>("chips");
    ASSERT_TRUE(chips);
    EXPECT_EQ(chips->dataCount(), 32768);
    auto* measured = lastClient().findChild<QCPBars*>("measured");
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->dataCount(), 2);
    EXPECT_NEAR(measured->data()->at(0)->value, 0, 0.01);

    exitApp();
    EXPECT_TRUE(mainGone());
}

// Raw samples and CSV lines carry no rate (raw no format either): asked, and
// refused with a reason when the answer is none.
TEST_F(AnalyzeCapture, RawAndCsvFilesAskForWhatTheyDoNotSay) {
    const auto samples = capture();
    const std::string raw = (folder() / "air.cf32").string();
    {
        std::ofstream f(raw, std::ios::binary);
        for (const auto& s : samples)
            for (float v : {float(s.real()), float(s.imag())}) {
                const auto u = std::bit_cast<std::uint32_t>(v);
                const char bytes[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
                f.write(bytes, 4);
            }
    }
    dialogs.answerOpenFile(raw).answerInput({{"6.144e6", "CF32"}});
    analyze();
    const auto& asked = dialogs.shown()[1];
    EXPECT_EQ(asked.title, "Capture Format");
    EXPECT_EQ(asked.choices, (std::vector<std::string>{"Sample rate of the capture (Hz):",
                                                       "Sample format (cf32, ci16, ci8 or cu8):"}));
    ASSERT_EQ(clients(), 1u);
    EXPECT_NE(table().find("raw samples"), std::string::npos) << table();

    dialogs.answerOpenFile(raw).answerInput({{"fast", "cf32"}}).expectError();
    analyze();
    EXPECT_EQ(dialogs.shown().back().text, "The sample rate \"fast\" is not a number of Hz.");
    dialogs.answerOpenFile(raw).answerInput({{"6.144e6", "cf64"}}).expectError();
    analyze();
    EXPECT_EQ(dialogs.shown().back().title, "Error Analyzing Capture");
    dialogs.answerOpenFile((folder() / "air.csv").string()).answerInput(std::nullopt);
    analyze();
    EXPECT_EQ(dialogs.shown().back().choices.size(), 1u);  // the rate only
    dialogs.answerOpenFile(std::nullopt);
    analyze();
    EXPECT_EQ(clients(), 1u);
}

// The reader's and the receiver's own texts, and no window.
TEST_F(AnalyzeCapture, FailuresShowTheirTextInAnErrorBox) {
    dialogs.answerOpenFile((folder() / "missing.sigmf-meta").string()).expectError();
    analyze();
    EXPECT_EQ(dialogs.shown().back().title, "Error Analyzing Capture");
    EXPECT_NE(dialogs.shown().back().text.find("missing.sigmf"), std::string::npos)
        << dialogs.shown().back().text;

    auto half = capture();
    half.resize(half.size() / 5);
    dialogs.answerOpenFile(writeSigMF(half)).expectError();
    analyze();
    EXPECT_EQ(dialogs.shown().back().text.rfind("Capture analysis: the capture is too short", 0),
              0u)
        << dialogs.shown().back().text;
    EXPECT_EQ(clients(), 0u);
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");
}
