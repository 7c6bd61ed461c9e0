// The slot setup dialog, opened from the main window's button: per-slot
// edits, the fast-edit patterns, and how OK, Cancel and the close box end it.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "UI/OneX_Rev_GUI_SlotSetup.h"
#include "UI/UiTestSupport.h"

using namespace onex;
using namespace onex::uitest;

namespace {

class SlotSetup : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    // Opens the dialog with the button, runs `act` in it, and returns once the
    // dialog has ended.
    void withDialog(std::function<void(QWidget&)> act) {
        whenShown("OneX_Rev_GUI_SlotSetup", std::move(act));
        click(w<QAbstractButton>("pbSlotSetup"));
    }
    static QLineEdit& field(QWidget& d, const std::string& tag) {
        return control<QLineEdit>(d, tag);
    }
    static std::string shown(QWidget& d, const std::string& tag) {
        return ui::platform::getString(field(d, tag));
    }
    static void ok(QWidget& d) { click(control<QAbstractButton>(d, "pbOK")); }
    static void cancel(QWidget& d) { click(control<QAbstractButton>(d, "pbCancel")); }
    const SlotParameters& slot() { return state().parameters.slot; }
};

TEST_F(SlotSetup, OpensWithTheParameterSetsSlotsAndHidesAgain) {
    std::string value17, cover1;
    bool modal = false;
    withDialog([&](QWidget& d) {
        value17 = shown(d, "txtDRCslotValue17");
        cover1 = shown(d, "txtDRCslotCover1");
        modal = d.isModal();
        ok(d);
    });
    EXPECT_EQ(value17, "F");
    EXPECT_EQ(cover1, "7");
    EXPECT_TRUE(modal);
    EXPECT_FALSE(state().figureList.figSlotSetup->isVisible());
}

// The hidden Special menu once took Alt+S, so the key opened nothing.
TEST_F(SlotSetup, AltSOpensIt) {
    main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main()));
    bool opened = false;
    whenShown("OneX_Rev_GUI_SlotSetup", [&](QWidget& d) {
        opened = true;
        cancel(d);
    });
    QTest::keyClick(&main(), Qt::Key_S, Qt::AltModifier);
    for (int i = 0; i < 200 && !opened; ++i)  // the button clicks itself a moment later
        QTest::qWait(10);
    EXPECT_TRUE(opened);
}

TEST_F(SlotSetup, ValuesAreHexadecimalAndClamped) {
    std::string afterA, after1F, afterCover, afterAck, ackNote, overflow;
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue3"), "A");
        afterA = shown(d, "txtDRCslotValue3");
        type(field(d, "txtDRCslotValue17"), "1F");
        after1F = shown(d, "txtDRCslotValue17");
        type(field(d, "txtDRCslotCover16"), "9");
        afterCover = shown(d, "txtDRCslotCover16");
        type(field(d, "txtACKslotValue2"), "2");
        afterAck = shown(d, "txtACKslotValue2");
        ackNote = ui::platform::getStatus(d);
        type(field(d, "txtDRCslotValue5"), std::string(300, 'F'));  // beyond any double
        overflow = ui::platform::getStatus(d);
        ok(d);
    });
    EXPECT_EQ(ackNote, "Slot 2 ACK value 2 is clamped to 1");
    EXPECT_NE(overflow.find("is not a value from 0 to F; it stays F."), std::string::npos)
        << overflow;
    EXPECT_EQ(afterA, "A");
    EXPECT_EQ(after1F, "F");
    EXPECT_EQ(afterCover, "7");
    EXPECT_EQ(afterAck, "1");
    EXPECT_EQ(slot().DRCslotValue[2], 10);
    EXPECT_EQ(slot().DRCslotValue[16], 15);
    EXPECT_EQ(slot().DRCslotCover[15], 7);
    EXPECT_EQ(slot().ACKslotValue[1], 1);
}

TEST_F(SlotSetup, ATextThatIsNoValueKeepsTheValueAndSaysWhy) {
    std::string shown4, status4, shownCover, statusCover, prefixed;
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue4"), "3");
        type(field(d, "txtDRCslotValue4"), "-1");
        shown4 = shown(d, "txtDRCslotValue4");
        status4 = ui::platform::getStatus(d);
        type(field(d, "txtDRCslotCover17"), "G");
        shownCover = shown(d, "txtDRCslotCover17");
        statusCover = ui::platform::getStatus(d);
        type(field(d, "txtDRCslotValue5"), "0xC");
        prefixed = shown(d, "txtDRCslotValue5");
        ok(d);
    });
    EXPECT_EQ(slot().DRCslotValue[3], 3);
    EXPECT_EQ(shown4, "3");
    EXPECT_EQ(status4, "Slot 4 DRC value: \"-1\" is not a value from 0 to F; it stays 3.");
    ASSERT_FALSE(console.empty());
    EXPECT_NE(console.front().find("OneX_Rev_GUI_SlotSetup/txtDRCslotValue_Callback"),
              std::string::npos);
    // A cover is 0 to 7, and the message says so.
    EXPECT_EQ(shownCover, "7");
    EXPECT_EQ(statusCover, "Prev. slot DRC cover: \"G\" is not a value from 0 to 7; it stays 7.");
    EXPECT_EQ(prefixed, "C");
    EXPECT_EQ(slot().DRCslotValue[4], 12);

    std::string statusOnReopening = "?";
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue4"), "zz");
        cancel(d);
    });
    withDialog([&](QWidget& d) {
        statusOnReopening = ui::platform::getStatus(d);
        cancel(d);
    });
    EXPECT_EQ(statusOnReopening, "");
}

// Clicking OK straight after typing a text that is no value once ended the
// dialog: the refusal reached the console only. The click now leaves the
// dialog open with the refusal in its status line; the next click ends it.
TEST_F(SlotSetup, OkClickedOnARefusedEntryKeepsTheDialogOpen) {
    bool endedByFirstClick = true;
    std::string status;
    withDialog([&](QWidget& d) {
        typeUncommitted(d, field(d, "txtDRCslotValue4"), "0x");  // the field takes these
        auto& okButton = control<QAbstractButton>(d, "pbOK");
        QTest::mouseClick(&okButton, Qt::LeftButton);
        endedByFirstClick = ui::platform::guidata(&d)->hasField("answer");
        status = ui::platform::getStatus(d);
        QCoreApplication::processEvents();  // the user reads, then clicks again
        QTest::mouseClick(&okButton, Qt::LeftButton);
    });
    EXPECT_FALSE(endedByFirstClick);
    EXPECT_EQ(status, "Slot 4 DRC value: \"0x\" is not a value from 0 to F; it stays F.");
    EXPECT_FALSE(state().figureList.figSlotSetup->isVisible());
}

TEST_F(SlotSetup, UncheckingASlotDisablesItsFieldsAndKeepsTheirValues) {
    bool valueOn = true, coverOn = true, ackOn = true;
    std::string value;
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue5"), "6");
        click(control<QCheckBox>(d, "chkDRCslotActive5"));
        valueOn = field(d, "txtDRCslotValue5").isEnabled();
        coverOn = field(d, "txtDRCslotCover5").isEnabled();
        value = shown(d, "txtDRCslotValue5");
        click(control<QCheckBox>(d, "chkACKslotActive9"));
        ackOn = field(d, "txtACKslotValue9").isEnabled();
        ok(d);
    });
    EXPECT_FALSE(valueOn);
    EXPECT_FALSE(coverOn);
    EXPECT_FALSE(ackOn);
    EXPECT_EQ(value, "6");
    EXPECT_EQ(slot().DRCslotActive[4], 0);
    EXPECT_EQ(slot().DRCslotValue[4], 6);
    EXPECT_EQ(slot().ACKslotActive[8], 0);
}

TEST_F(SlotSetup, ActivityPatterns) {
    const std::vector<double> everyOther = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const std::vector<double> quarterOff = {1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0};
    const std::vector<double> quarterOn = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    SlotParameters after3, after2, after4;
    withDialog([&](QWidget& d) {
        auto& ack = control<QComboBox>(d, "fasteditACKactive");
        auto& drc = control<QComboBox>(d, "fasteditDRCactive");
        choose(ack, 3);
        choose(drc, 3);
        after3 = state().slotWorkingCopy;
        choose(ack, 2);
        choose(drc, 2);
        after2 = state().slotWorkingCopy;
        choose(ack, 4);
        choose(drc, 4);
        after4 = state().slotWorkingCopy;
        EXPECT_FALSE(field(d, "txtACKslotValue1").isEnabled());
        EXPECT_TRUE(field(d, "txtACKslotValue4").isEnabled());
        EXPECT_EQ(ack.currentIndex(), -1);  // back to its prompt
        choose(ack, 5);
        EXPECT_FALSE(field(d, "txtACKslotValue4").isEnabled());
        ok(d);
    });
    EXPECT_EQ(after3.ACKslotActive, everyOther);
    std::vector<double> drc17 = everyOther;
    drc17.push_back(1);  // entry 17 is odd: it stays on
    EXPECT_EQ(after3.DRCslotActive, drc17);
    EXPECT_EQ(after2.ACKslotActive, quarterOff);
    drc17 = quarterOff;
    drc17.push_back(1);
    EXPECT_EQ(after2.DRCslotActive, drc17);
    EXPECT_EQ(after4.ACKslotActive, quarterOn);
    drc17 = quarterOn;
    drc17.push_back(0);
    EXPECT_EQ(after4.DRCslotActive, drc17);
    EXPECT_EQ(slot().ACKslotActive, std::vector<double>(16, 0));
}

TEST_F(SlotSetup, ValueAndCoverPatterns) {
    withDialog([&](QWidget& d) {
        choose(control<QComboBox>(d, "fasteditACKvalue"), 3);
        choose(control<QComboBox>(d, "fasteditDRCvalue"), 12);
        choose(control<QComboBox>(d, "fasteditDRCcover"), 3);
        EXPECT_EQ(shown(d, "txtDRCslotValue17"), "B");
        ok(d);
    });
    EXPECT_EQ(slot().ACKslotValue,
              (std::vector<double>{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(slot().DRCslotValue, std::vector<double>(17, 11));
    EXPECT_EQ(slot().DRCslotCover, std::vector<double>(17, 2));
}

TEST_F(SlotSetup, RandomPatternsDrawFromTheUniformSource) {
    // 0.25 and 0.8 alternately: bits 0/1, values round(15 u), covers round(7 u).
    int calls = 0;
    uniform = [&] { return (calls++ % 2) ? 0.8 : 0.25; };
    withDialog([&](QWidget& d) {
        choose(control<QComboBox>(d, "fasteditACKactive"), 6);
        choose(control<QComboBox>(d, "fasteditDRCvalue"), 17);
        choose(control<QComboBox>(d, "fasteditDRCcover"), 9);
        ok(d);
    });
    EXPECT_EQ(slot().ACKslotActive,
              (std::vector<double>{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    // 16 draws went to the activity; the values start on an even draw.
    for (std::size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(slot().DRCslotValue[i], i % 2 ? 12 : 4) << i;  // round(3.75), round(12)
    }
    // 16 + 17 draws before: the covers start on an odd draw.
    for (std::size_t i = 0; i < 17; ++i)
        EXPECT_EQ(slot().DRCslotCover[i], i % 2 ? 2 : 6) << i;  // round(5.6), round(1.75)
}

TEST_F(SlotSetup, CancelAndTheCloseBoxDropTheEdits) {
    const SlotParameters before = slot();
    std::string reopened;
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue1"), "2");
        choose(control<QComboBox>(d, "fasteditACKactive"), 5);
        cancel(d);
    });
    EXPECT_EQ(slot(), before);
    withDialog([&](QWidget& d) {
        reopened = shown(d, "txtDRCslotValue1");
        type(field(d, "txtDRCslotValue1"), "3");
        d.close();
    });
    EXPECT_EQ(reopened, "F");
    EXPECT_EQ(slot(), before);
    EXPECT_TRUE(state().figureList.figSlotSetup);  // only hidden
    withDialog([&](QWidget& d) {
        type(field(d, "txtDRCslotValue1"), "4");
        ok(d);
    });
    EXPECT_EQ(slot().DRCslotValue[0], 4);
}

TEST_F(SlotSetup, ToolTipsNameTheSlot) {
    QWidget& d = *state().figureList.figSlotSetup;
    EXPECT_EQ(ui::platform::getTooltip(field(d, "txtDRCslotValue12")),
              "Sets the value of the\nDRC burst for slot 12.\nValid Range: 0 to F Hexadecimal");
    EXPECT_EQ(ui::platform::getTooltip(control<QCheckBox>(d, "chkACKslotActive3")),
              "Enables/disables the\nACK Channel for slot 3.");
    EXPECT_EQ(ui::platform::getTooltip(field(d, "txtDRCslotCover17")),
              "Sets the Walsh Cover of the\nDRC burst for the last slot\nof the previous "
              "frame.\nValid Range: 0 to 7");
}

TEST(SlotTags, TheSlotNumberIsTheTrailingDigits) {
    using ui::slotsetup::slotNumberOfTag;
    EXPECT_EQ(slotNumberOfTag("txtDRCslotValue17"), 17);
    EXPECT_EQ(slotNumberOfTag("chkACKslotActive1"), 1);
    EXPECT_EQ(slotNumberOfTag("pbOK"), std::nullopt);
}

}  // namespace
