// The impairments dialog, opened from Configuration -> Impairments...: the
// switches and values it stores on OK, what Cancel drops, refused text, and
// the calculation that follows.

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>
#include <algorithm>
#include <cmath>
#include <limits>

#include "UI/UiTestSupport.h"

using namespace onex;
using namespace onex::uitest;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class ImpairmentsDialog : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    void withDialog(std::function<void(QWidget&)> act) {
        whenShown("OneX_Rev_GUI_Impairments", std::move(act));
        trigger(w<QAction>("menuConfigImpairments"));
    }
    static QLineEdit& field(QWidget& d, const std::string& tag) {
        return control<QLineEdit>(d, tag);
    }
    static std::string shown(QWidget& d, const std::string& tag) {
        return ui::platform::getString(field(d, tag));
    }
    static void flip(QWidget& d, const std::string& tag) {
        click(control<QAbstractButton>(d, tag));
    }
    static void ok(QWidget& d) { click(control<QAbstractButton>(d, "pbOK")); }
    static void cancel(QWidget& d) { click(control<QAbstractButton>(d, "pbCancel")); }
    const Parameters& p() { return state().parameters; }
};

}  // namespace

TEST_F(ImpairmentsDialog, OkStoresWhatIsSwitchedOnClampedAndCancelDropsIt) {
    bool cnEnabledBefore = true;
    std::string clamped;
    withDialog([&](QWidget& d) {
        cnEnabledBefore = field(d, "txtCNRatio").isEnabled();
        flip(d, "chkCNRatio");
        type(field(d, "txtCNRatio"), "75");
        clamped = shown(d, "txtCNRatio");
        type(field(d, "txtNoiseSeed"), "7.4");
        flip(d, "chkCarrierLeakage");
        type(field(d, "txtCarrierLeakage"), "-33.5");
        flip(d, "chkFreqError");
        type(field(d, "txtFreqError"), "2*500");
        flip(d, "chkFreqErrorSnap");                // on by default: now off
        type(field(d, "txtQuadratureError"), "5");  // its switch is off: not stored
        ok(d);
    });
    EXPECT_FALSE(cnEnabledBefore);
    EXPECT_EQ(clamped, "60");
    EXPECT_EQ(p().CNRatio, 60);
    EXPECT_EQ(p().NoiseSeed, 7);
    EXPECT_EQ(p().CarrierLeakage, -33.5);
    EXPECT_EQ(p().FreqError, 1000);
    EXPECT_EQ(p().FreqErrorSnap, 0);
    EXPECT_EQ(p().QuadratureError, 0);
    EXPECT_EQ(p().IQGainImbalance, 0);

    // Cancel: nothing changes. Switching off stores "off", the value stays
    // in the field for the next opening.
    withDialog([&](QWidget& d) {
        flip(d, "chkCNRatio");
        cancel(d);
    });
    EXPECT_EQ(p().CNRatio, 60);
    std::string leakageShown;
    withDialog([&](QWidget& d) {
        flip(d, "chkCNRatio");
        flip(d, "chkCarrierLeakage");
        leakageShown = shown(d, "txtCarrierLeakage");
        ok(d);
    });
    EXPECT_EQ(leakageShown, "-33.5");
    EXPECT_EQ(p().CNRatio, kInf);
    EXPECT_EQ(p().CarrierLeakage, -kInf);
    EXPECT_EQ(p().FreqError, 1000);
}

TEST_F(ImpairmentsDialog, ATextThatIsNoNumberKeepsTheValueAndSaysWhy) {
    std::string kept, status;
    withDialog([&](QWidget& d) {
        flip(d, "chkIQGainImbalance");
        type(field(d, "txtIQGainImbalance"), "1.5");
        type(field(d, "txtIQGainImbalance"), "1..5");
        kept = shown(d, "txtIQGainImbalance");
        status = d.findChild<QStatusBar*>()->currentMessage().toStdString();
        ok(d);
    });
    EXPECT_EQ(kept, "1.5");
    EXPECT_NE(status.find("I/Q gain imbalance"), std::string::npos) << status;
    EXPECT_EQ(p().IQGainImbalance, 1.5);
    ASSERT_FALSE(console.empty());
    EXPECT_NE(console.back().find("1..5"), std::string::npos) << console.back();
}

// An edit in the dialog makes the waveform stale like any other; Calculate
// then names what it applied.
TEST_F(ImpairmentsDialog, CalculateAppliesAndNamesThem) {
    click(w<QAbstractButton>("pbCalculate"));
    const std::vector<std::complex<double>> clean(state().frame.waveform.begin(),
                                                  state().frame.waveform.end());
    withDialog([&](QWidget& d) {
        flip(d, "chkCNRatio");
        type(field(d, "txtCNRatio"), "20");
        ok(d);
    });
    EXPECT_NE(state().appInfo.LastCaluclatedParameterSet, p());
    click(w<QAbstractButton>("pbCalculate"));
    const std::string status = main().statusBar()->currentMessage().toStdString();
    EXPECT_NE(status.find("; impairments: C/N 20 dB (seed 0)"), std::string::npos) << status;
    ASSERT_EQ(state().frame.waveform.size(), clean.size());
    EXPECT_FALSE(std::ranges::equal(state().frame.waveform, clean));
}
