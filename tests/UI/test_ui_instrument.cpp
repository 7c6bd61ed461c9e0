// Download and Refresh from the main window to tarn-sim, with the questions
// and message boxes the user sees.

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "Instrument/ConfigFile.h"
#include "Instrument/DownloadCommand.h"
#include "UI/UiTestSupport.h"
#include "platform/Text.h"
#include "system/support_sim.h"

using namespace onex;
using namespace onex::uitest;

namespace {

class Instrument : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        // Correction files are looked for under the data folder: an empty one.
        ::setenv("XDG_DATA_HOME", folder().c_str(), 1);
    }
    // The user's way to a LAN instrument: the stored configuration.
    void startWith(const std::string& address) {
        IoConfig c = startupIoConfig();
        c.type = "TCPIP";
        c.TCPIP->address = address;
        ASSERT_TRUE(saveConfig(c));
        start();
        ASSERT_EQ(state().configuration.type, "TCPIP");
    }
    void startWithSim(const std::vector<std::string>& args = {}) {
        sim = testsim::startSim(args);
        ASSERT_TRUE(sim);
        startWith(sim->rawAddress());
    }
    std::string closedAddress() {
        return "127.0.0.1:" + std::to_string(testsim::unusedLocalPort());
    }
    // The simulator logs a command once it has taken it, which may be a
    // moment after the last line went out.
    bool logs(const std::string& lowerCaseText) {
        for (int i = 0; i < 500; ++i) {
            if (onex::platform::toLower(sim->logText()).find(lowerCaseText) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::unique_ptr<testsim::SimProcess> sim;
};

TEST_F(Instrument, DownloadWithoutAWaveformCalculatesFirstWhenAsked) {
    startWithSim();
    dialogs.answerQuestion("Calculate & Download").expectMessage();
    click(w<QAbstractButton>("pbDownload"));
    ASSERT_EQ(dialogs.shown().size(), 2u);
    const auto& question = dialogs.shown()[0];
    EXPECT_EQ(question.title, "Waveform Not Calculated");
    EXPECT_EQ(question.text,
              "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform "
              "and then download ?");
    EXPECT_EQ(question.choices, (std::vector<std::string>{"Calculate & Download", "Cancel"}));
    EXPECT_EQ(question.defaultChoice, "Calculate & Download");
    const auto& box = dialogs.shown()[1];
    EXPECT_EQ(box.title, "Download Completed");
    EXPECT_EQ(box.text, "Waveform has been successfully transferred to the instrument");
    EXPECT_TRUE(box.modal);
    EXPECT_TRUE(state().appInfo.LastCalcTimeStamp);
    // 163840 samples of 16-bit I and Q.
    EXPECT_EQ(sim->storedFile("OneX-Rev.iq").size(), 163840u * 4);
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");
}

TEST_F(Instrument, CancelledQuestionSendsNothing) {
    startWithSim();
    dialogs.answerQuestion("Cancel");
    click(w<QAbstractButton>("pbDownload"));
    EXPECT_FALSE(state().appInfo.LastCalcTimeStamp);
    EXPECT_TRUE(sim->storedFile("OneX-Rev.iq").empty());
}

TEST_F(Instrument, RefreshSendsTheSettingsWithoutQuestionOrMessage) {
    startWithSim();
    // The instrument plays only a waveform it holds.
    dialogs.answerQuestion("Calculate & Download").expectMessage();
    click(w<QAbstractButton>("pbDownload"));
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Waveform and settings sent to TCPIP " + sim->rawAddress() + "; playing OneX-Rev");
    choose(w<QComboBox>("pdReconFilter"), 3);
    click(w<QAbstractButton>("pbRefresh"));
    EXPECT_EQ(dialogs.shown().size(), 2u);
    // No box, but the status bar says where the settings went.
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Settings sent to TCPIP " + sim->rawAddress() + "; playing OneX-Rev");
    EXPECT_TRUE(logs(":rfilter 8mhz")) << sim->logText();
}

// A click on Refresh that takes the focus from a field whose new text is
// refused: the click once went ahead with the old value while the refusal
// went to the console only. Now the status bar shows the refusal and the
// click sends nothing; the next click sends the value the field shows.
TEST_F(Instrument, RefreshClickedOnARefusedEntrySendsNothing) {
    startWithSim();
    dialogs.answerQuestion("Calculate & Download").expectMessage();
    click(w<QAbstractButton>("pbDownload"));
    ASSERT_TRUE(logs(":amplitude -30dbm"));
    const auto amplitudeLines = [&] {
        const std::string log = onex::platform::toLower(sim->logText());
        std::size_t n = 0;
        for (std::size_t at = log.find(":amplitude "); at != std::string::npos;
             at = log.find(":amplitude ", at + 1))
            ++n;
        return n;
    };
    ASSERT_EQ(amplitudeLines(), 1u);

    typeUncommitted(main(), w<QLineEdit>("txtAmplitude"), "1/0");
    auto& refresh = w<QAbstractButton>("pbRefresh");
    QTest::mouseClick(&refresh, Qt::LeftButton);
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Amplitude: \"1/0\" is not a number; it stays -30 dBm.");
    EXPECT_EQ(state().SigGenSettings.Amplitude, -30);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(amplitudeLines(), 1u) << sim->logText();

    QCoreApplication::processEvents();  // the user reads, then clicks again
    QTest::mouseClick(&refresh, Qt::LeftButton);
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Settings sent to TCPIP " + sim->rawAddress() + "; playing OneX-Rev");
    for (int i = 0; i < 500 && amplitudeLines() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(amplitudeLines(), 2u) << sim->logText();
    EXPECT_EQ(onex::platform::toLower(sim->logText()).find(":amplitude 20dbm"), std::string::npos);
}

// Runs `action` once the progress window of a background run shows.
void whenProgressShows(std::function<void(QProgressDialog&)> action) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(*p);
                return;
            }
    });
    poll->start();
}

using Clock = std::chrono::steady_clock;

TEST_F(Instrument, TheProgressWindowsCancelEndsADownloadAtOnce) {
    startWithSim({"--no-reply"});
    click(w<QAbstractButton>("pbCalculate"));
    whenProgressShows([](QProgressDialog& p) {
        auto* cancel = p.findChild<QPushButton*>();
        ASSERT_TRUE(cancel);
        EXPECT_EQ(cancel->text(), "Cancel");
        click(*cancel);
    });
    dialogs.expectError();
    const auto t0 = Clock::now();
    click(w<QAbstractButton>("pbDownload"));
    // An instrument that never answers would hold the download for half a minute.
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Error Occured During Waveform Download");
    EXPECT_EQ(dialogs.shown()[0].text, "Download cancelled");
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");
    bool closed = false;
    for (int i = 0; i < 200 && !closed; ++i) {
        closed = sim->logText().find("CLOSE tcp#1") != std::string::npos;
        if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(closed) << sim->logText();
}

TEST_F(Instrument, ClosingTheWindowDuringADownloadAsksAndCancels) {
    startWithSim({"--no-reply"});
    click(w<QAbstractButton>("pbCalculate"));
    whenProgressShows([this](QProgressDialog&) { main().close(); });
    dialogs.answerQuestion("Yes");
    const auto t0 = Clock::now();
    click(w<QAbstractButton>("pbDownload"));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
    // The question, and no report of the cancelled download.
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& question = dialogs.shown()[0];
    EXPECT_EQ(question.title, "Operation in Progress");
    EXPECT_EQ(question.text,
              "Downloading the waveform to the signal generator ...\nDo you want to cancel it and "
              "close the window?");
    EXPECT_EQ(question.choices, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(question.defaultChoice, "No");
    // Then, once the command has returned, the window closes as its close box
    // does (which deletes it later): configuration saved.
    deliverDeferred();
    deliverDeferred();
    EXPECT_TRUE(mainGone());
    const auto stored = loadConfig(folder() / "rfIOConfig.mat");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->TCPIP->address, sim->rawAddress());
}

TEST_F(Instrument, AFailedDownloadIsReportedAsSuch) {
    startWith(closedAddress());
    click(w<QAbstractButton>("pbCalculate"));
    dialogs.expectError();  // with the error icon
    click(w<QAbstractButton>("pbDownload"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Error Occured During Waveform Download");
    EXPECT_FALSE(dialogs.shown()[0].text.empty());
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");
}

TEST_F(Instrument, AFailedRefreshIsReportedAsInstrumentSetup) {
    startWith(closedAddress());
    dialogs.expectError();
    click(w<QAbstractButton>("pbRefresh"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, kSetupErrorTitle);
    EXPECT_FALSE(dialogs.shown()[0].text.empty());
    // The status bar names the failure, never an earlier success.
    EXPECT_EQ(ui::platform::getStatus(main()).rfind(std::string(kSetupErrorTitle) + ": ", 0), 0u);
}

}  // namespace
