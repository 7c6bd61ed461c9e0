// The signal-generator settings panel of the main window.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "UI/TARNconfig.h"
#include "UI/UiTestSupport.h"
#include "platform/Numeric.h"

using namespace onex;
using namespace onex::uitest;

namespace {

class SigGenPanel : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    void enter(const char* tag, const std::string& text, int unit = 0) {
        if (unit) {
            // The unit the field shows when the user types (set as the
            // panel's redraw would, without the unit's own callback).
            const char* units =
                std::string(tag) == "txtFrequency" ? "pdFrequencyUnits" : "pdSamplingRateUnits";
            w<QComboBox>(units).setCurrentIndex(unit - 1);
        }
        type(w<QLineEdit>(tag), text);
    }
    const onex::SigGenSettings& settings() { return state().SigGenSettings; }
};

TEST_F(SigGenPanel, FrequencyIsClampedAndShownWithItsUnit) {
    // Typed text and unit (1 Hz, 2 kHz, 3 MHz, 4 GHz); stored value, shown text and unit.
    struct Case {
        const char* typed;
        int unit;
        double stored;
        const char* shown;
        int shownUnit;
    };
    for (const Case& k : {Case{"5", 4, 4000000000, "4", 4}, Case{"50", 1, 100000, "100", 2},
                          Case{"999.9", 2, 999900, "999.9", 2}, Case{"1000", 2, 1000000, "1", 3}}) {
        enter("txtFrequency", k.typed, k.unit);
        EXPECT_EQ(settings().Frequency, k.stored) << k.typed;
        EXPECT_EQ(text("txtFrequency"), k.shown) << k.typed;
        EXPECT_EQ(value("pdFrequencyUnits"), k.shownUnit) << k.typed;
    }
}

// An unreadable entry once became the upper bound: +20 dBm went to the
// instrument for a typed "-1O". Now nothing changes and the status bar says
// why; the fields do not even take the letter when typed.
TEST_F(SigGenPanel, TextThatIsNoNumberChangesNoSetting) {
    const onex::SigGenSettings before = settings();
    type(w<QLineEdit>("txtAmplitude"), "-1O");
    EXPECT_EQ(text("txtAmplitude"), "-30");
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Amplitude: \"-1O\" is not a number; it stays -30 dBm.");
    enter("txtFrequency", "x");
    EXPECT_EQ(text("txtFrequency"), "2.2");
    EXPECT_EQ(ui::platform::getStatus(main()),
              "Frequency: \"x\" is not a number; it stays 2.2 GHz.");
    enter("txtSamplingRate", "");
    EXPECT_EQ(text("txtSamplingRate"), "6.144");
    EXPECT_TRUE(settings() == before);

    typeKeys(w<QLineEdit>("txtAmplitude"), "-1O");
    EXPECT_EQ(settings().Amplitude, -1);
}

TEST_F(SigGenPanel, ChoosingAUnitRereadsTheNumber) {
    ASSERT_EQ(text("txtFrequency"), "2.2");
    choose(w<QComboBox>("pdFrequencyUnits"), 3);  // MHz
    EXPECT_EQ(settings().Frequency, 2200000);
    EXPECT_EQ(text("txtFrequency"), "2.2");
    EXPECT_EQ(value("pdFrequencyUnits"), 3);
    choose(w<QComboBox>("pdFrequencyUnits"), 2);  // 2.2 kHz, below the range
    EXPECT_EQ(settings().Frequency, 100000);
    EXPECT_EQ(text("txtFrequency"), "100");
}

TEST_F(SigGenPanel, SamplingRateIsClampedTo40MHz) {
    enter("txtSamplingRate", "50", 3);
    EXPECT_EQ(settings().SamplingRate, 40000000);
    EXPECT_EQ(text("txtSamplingRate"), "40");
    enter("txtSamplingRate", "0.5", 1);
    EXPECT_EQ(settings().SamplingRate, 1);
    EXPECT_EQ(text("txtSamplingRate"), "1");
    EXPECT_EQ(value("pdSamplingRateUnits"), 1);
}

TEST_F(SigGenPanel, AmplitudeIsRoundedToWholeDbm) {
    const std::pair<const char*, double> cases[] = {
        {"-140.4", -136}, {"3.5", 4}, {"25", 20}, {"-2.5", -3}};
    for (const auto& [typed, stored] : cases) {
        type(w<QLineEdit>("txtAmplitude"), typed);
        EXPECT_EQ(settings().Amplitude, stored) << typed;
        EXPECT_EQ(text("txtAmplitude"), onex::platform::num2str(stored)) << typed;
    }
}

TEST_F(SigGenPanel, TheTitleKeepsOnlyAllowedCharacters) {
    type(w<QLineEdit>("txtWaveformTitle"), "my wave.1");
    EXPECT_EQ(settings().Title, "MYWAVE1");
    EXPECT_EQ(text("txtWaveformTitle"), "MYWAVE1");
    type(w<QLineEdit>("txtWaveformTitle"), "   ");
    EXPECT_EQ(settings().Title, "BLANK");
    type(w<QLineEdit>("txtWaveformTitle"), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(settings().Title, "ABCDEFGHIJKLMNOPQRST");
    type(w<QLineEdit>("txtWaveformTitle"), "a_$&#+-[]b");
    EXPECT_EQ(settings().Title, "A_$&#+-[]B");
}

TEST_F(SigGenPanel, TogglesChangeTheirLabels) {
    click(w<QAbstractButton>("tbArbRefSource"));
    EXPECT_EQ(settings().ArbRefSource, 1);
    EXPECT_EQ(text("tbArbRefSource"), "Ext. Ref");
    click(w<QAbstractButton>("tbMarkerPolarity"));
    EXPECT_EQ(settings().MarkerPolarity, 1);
    EXPECT_EQ(text("tbMarkerPolarity"), "- Mkrs");
    click(w<QAbstractButton>("tbArbRefSource"));
    EXPECT_EQ(text("tbArbRefSource"), "Int. Ref");
    click(w<QCheckBox>("chkRFblanking"));
    EXPECT_EQ(settings().RFblanking, 1);
    choose(w<QComboBox>("pdReconFilter"), 4);
    EXPECT_EQ(settings().ReconFilter, 4);
}

TEST_F(SigGenPanel, SettingsDoNotMakeTheWaveformStale) {
    click(w<QAbstractButton>("pbCalculate"));
    enter("txtFrequency", "1.9", 4);
    type(w<QLineEdit>("txtAmplitude"), "-10");
    // A save after a change of settings only goes ahead without a question.
    dialogs.answerSaveFile(std::nullopt);
    trigger(w<QAction>("menuSpecialSaveWave"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, onex::platform::ScriptedDialogs::Kind::SaveFile);
}

TEST(FrequencyDisplay, FiveSignificantDigitsWithoutTrailingZeros) {
    using ui::tarnconfig::frequencyDisplay;
    EXPECT_EQ(frequencyDisplay(2200000000).text, "2.2");
    EXPECT_EQ(frequencyDisplay(6144000).text, "6.144");
    EXPECT_EQ(frequencyDisplay(999).unit, 1);
    EXPECT_EQ(frequencyDisplay(1000).unit, 2);
    EXPECT_EQ(frequencyDisplay(123456789).text, "123.4568");
    EXPECT_EQ(frequencyDisplay(1234567891).text, "1.2346");
}

}  // namespace
