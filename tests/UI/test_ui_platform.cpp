// The window platform: callback texts and their dispatch, handles, modal
// waits, number entry, placement, font scaling, background work.

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <cmath>

#include "UI/UiTestSupport.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Background.h"
#include "UI/platform/Expression.h"
#include "UI/platform/QtDialogs.h"
#include "platform/Numeric.h"

using namespace onex;
using namespace onex::ui::platform;

namespace {

TEST(CallbackText, TheFormOfTheControlsCallbacks) {
    EXPECT_EQ(parseCallback("rfCommonUI('menuFileNew_Callback',gcbo,[],guidata(gcbo))"),
              (CallbackCall{"rfCommonUI", "menuFileNew_Callback"}));
    EXPECT_EQ(parseCallback(" QV_SigGen ( 'pbOK_Callback' , gcbo, [ ], guidata(gcbo));"),
              (CallbackCall{"QV_SigGen", "pbOK_Callback"}));
    EXPECT_EQ(parseCallback("rfCommonUI('x',gcbo,[])"), std::nullopt);
    EXPECT_EQ(parseCallback("rfCommonUI(\"x\",gcbo,[],guidata(gcbo))"), std::nullopt);
    EXPECT_EQ(parseCallback("delete('*')"), std::nullopt);
    EXPECT_EQ(callbackText("TARNconfig", "txtFrequency_Callback"),
              "TARNconfig('txtFrequency_Callback',gcbo,[],guidata(gcbo))");
}

class Dispatch : public ::testing::Test {
  protected:
    std::vector<std::string> console;
    ScopedServices services{
        {nullptr, nullptr, [this](const std::string& t) { console.push_back(t); }, {}, {}}};
    CallbackRouter& router = ui::platform::services().router;
};

TEST_F(Dispatch, AControlRunsItsModuleRoutineWithItsWindowsHandles) {
    QWidget window;
    window.setObjectName("win");
    auto* button = new QPushButton(&window);
    button->setObjectName("pbGo");
    guidata(&window, buildHandles(&window));
    std::string routine;
    QObject* firing = nullptr;
    Handles* handles = nullptr;
    auto reg = router.add("TestModule", [&](const std::string& r, QObject* g, Handles* h) {
        routine = r;
        firing = g;
        handles = h;
    });
    setCallback(*button, callbackText("TestModule", "pbGo_Callback"));
    button->click();
    EXPECT_EQ(routine, "pbGo_Callback");
    EXPECT_EQ(firing, button);
    ASSERT_NE(handles, nullptr);
    EXPECT_EQ(handles->find("pbGo"), button);
    EXPECT_EQ(handles, guidata(&window));
}

TEST_F(Dispatch, FailuresArePrintedAndGoNoFurther) {
    QWidget window;
    auto* button = new QPushButton(&window);
    auto reg = router.add(
        "Failing", [](const std::string&, QObject*, Handles*) { throw Error("Integer required"); });
    setCallback(*button, callbackText("Failing", "pbX_Callback"));
    button->click();
    setCallback(*button, callbackText("Nowhere", "pbX_Callback"));
    button->click();
    setCallback(*button, "not a callback");
    button->click();
    ASSERT_EQ(console.size(), 3u);
    EXPECT_EQ(console[0], "Failing/pbX_Callback: Integer required");
    EXPECT_NE(console[1].find("Undefined module Nowhere"), std::string::npos);
    EXPECT_NE(console[2].find("not understood"), std::string::npos);
    EXPECT_THROW(router.callDirect("Failing", "r", nullptr, nullptr), Error);
}

TEST_F(Dispatch, TheNewestRegistrationOfAModuleAnswers) {
    std::string who;
    auto first = router.add("Twice", [&](const std::string&, QObject*, Handles*) { who = "1"; });
    {
        auto second =
            router.add("Twice", [&](const std::string&, QObject*, Handles*) { who = "2"; });
        router.call("Twice", "r", nullptr, nullptr);
        EXPECT_EQ(who, "2");
    }
    router.call("Twice", "r", nullptr, nullptr);
    EXPECT_EQ(who, "1");
    first = {};
    EXPECT_FALSE(router.has("Twice"));
}

TEST_F(Dispatch, EditFieldsFireOnlyForTextTheUserChanged) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    int fired = 0;
    auto reg = router.add("Edits", [&](const std::string&, QObject*, Handles*) { ++fired; });
    setCallback(*edit, callbackText("Edits", "txt_Callback"));
    emit edit->editingFinished();  // focus left an untouched field
    edit->setText("redrawn");      // a redraw
    emit edit->editingFinished();
    EXPECT_EQ(fired, 0);
    uitest::type(*edit, "typed");
    EXPECT_EQ(fired, 1);
}

TEST(Handles, TaggedWidgetsAndMenuItemsOfAWindow) {
    QMainWindow window;
    window.setObjectName("main");
    auto* label = new QLabel(&window);
    label->setObjectName("lblA");
    auto* internal = new QLabel(&window);
    internal->setObjectName("qt_internal");
    QMenu* menu = window.menuBar()->addMenu("&File");
    menu->setObjectName("menuFile");
    QAction* item = menu->addAction("&New");
    item->setObjectName("menuFileNew");

    const Handles h = buildHandles(&window);
    EXPECT_EQ(h.find("main"), &window);
    EXPECT_EQ(h.find("lblA"), label);
    EXPECT_EQ(h.find("menuFileNew"), item);
    EXPECT_FALSE(h.has("qt_internal"));
    EXPECT_EQ(windowOf(item), &window);
    EXPECT_EQ(windowOf(menu), &window);
    EXPECT_THROW(h.get<QPushButton>("lblA"), Error);
    EXPECT_THROW(h.at("missing"), Error);

    guidata(label, h);
    EXPECT_EQ(guidata(item)->find("lblA"), label);
    delete label;
    EXPECT_FALSE(guidata(&window)->has("lblA"));  // a deleted object is gone
}

TEST(ModalWait, EndsOnResumeOrWhenTheWindowGoes) {
    QWidget window;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(isWaiting(&window));
        uiresume(&window);
    });
    EXPECT_TRUE(uiwait(&window));
    EXPECT_FALSE(isWaiting(&window));

    auto* doomed = new QWidget;
    QTimer::singleShot(0, [doomed] { delete doomed; });
    EXPECT_FALSE(uiwait(doomed));
}

TEST(NumberEntry, NumericExpressions) {
    EXPECT_EQ(str2num("42"), 42);
    EXPECT_EQ(str2num(" -12.5 "), -12.5);
    EXPECT_EQ(str2num("1e9"), 1e9);
    EXPECT_EQ(str2num(".5"), 0.5);
    EXPECT_EQ(str2num("2*3+1"), 7);
    EXPECT_EQ(str2num("-(1+2)^2"), -9);
    EXPECT_EQ(str2num("1/4"), 0.25);
    EXPECT_EQ(str2num("Inf"), INFINITY);
    EXPECT_DOUBLE_EQ(str2num("pi"), M_PI);
    for (const char* none : {"", "abc", "3 4", "1+", "(2", "1i", "0x10", "1e", "--"})
        EXPECT_TRUE(std::isnan(str2num(none))) << none;
}

TEST(NumberEntry, Hexadecimal) {
    EXPECT_EQ(hex2dec("3FFFFFFFFFF"), 4398046511103);
    EXPECT_EQ(hex2dec(" a "), 10);
    EXPECT_EQ(hex2dec("00F"), 15);
    EXPECT_EQ(hex2dec(" 0x1f"), 31);                          // the prefix the command line takes
    EXPECT_GT(hex2dec("FFFFFFFFFFFFFFFFFF"), 4398046511103);  // clamps still work above 2^53
    EXPECT_THROW(hex2dec(""), Error);
    EXPECT_THROW(hex2dec("1G"), Error);
    EXPECT_THROW(hex2dec("-1"), Error);
}

// Infinity once passed as a number: "1/0" in Amplitude became +20 dBm at
// the instrument. A field takes only finite values, as the command line does.
TEST(NumberEntry, AnInfiniteOrOverflowingValueIsNoNumber) {
    for (const char* text : {"1/0", "-1/0", "1e999", "-1e999", "1e300*1e300", "10^400", "0/0"})
        EXPECT_EQ(readNumber(text), std::nullopt) << text;
    EXPECT_EQ(readNumber("1/1e999"), std::nullopt);  // an overflowing number, whatever follows
    EXPECT_EQ(readNumber("1e308"), 1e308);
    EXPECT_EQ(readNumber("-2*3"), -6);
    EXPECT_EQ(readHex(std::string(300, 'F')), std::nullopt);
    EXPECT_EQ(readHex("3FFFFFFFFFF"), 4398046511103);
}

// One rule for every field: a changed value is either clamped (the bound
// wins over rounding) or rounded; a value kept as entered has no note.
TEST(NumberEntry, AValueChangedOnEntryIsNoted) {
    const auto dBm = [](double v) { return onex::platform::exactNumberText(v) + " dBm"; };
    const EntryRule amplitude{-136, 20, "whole dB"};
    EXPECT_EQ(keepEntry(-12.5, amplitude, "Amplitude", dBm).value, -13);
    EXPECT_EQ(keepEntry(-12.5, amplitude, "Amplitude", dBm).note,
              "Amplitude -12.5 dBm is set as -13 dBm (whole dB)");
    EXPECT_EQ(keepEntry(-140.4, amplitude, "Amplitude", dBm).note,
              "Amplitude -140.4 dBm is clamped to -136 dBm");
    EXPECT_EQ(keepEntry(20.5, amplitude, "Amplitude", dBm).note,
              "Amplitude 20.5 dBm is clamped to 20 dBm");
    EXPECT_EQ(keepEntry(-30, amplitude, "Amplitude", dBm).note, "");
    const EntryRule gain{-30, 30};
    EXPECT_EQ(keepEntry(30.0000001, gain, "DRC gain", dBm).note,
              "DRC gain 30.0000001 dBm is clamped to 30 dBm");
    EXPECT_EQ(keepEntry(-12.5, gain, "DRC gain", dBm).note, "");
    EXPECT_EQ(keepEntry(12, {0, 7}, "I mask", dBm, "0xC").note, "I mask 0xC is clamped to 7 dBm");
}

TEST(Placement, CentredOverTheReferenceWithoutClipping) {
    EXPECT_EQ(ui::centredRect(QRect(100, 50, 400, 300), QRect(0, 0, 200, 100)),
              QRect(200, 150, 200, 100));
    // Larger than its parent: left of and above the parent's corner.
    const QRect big = ui::centredRect(QRect(100, 50, 400, 300), QRect(0, 0, 600, 500));
    EXPECT_EQ(big.topLeft(), QPoint(0, -50));
    EXPECT_EQ(big.size(), QSize(600, 500));
}

TEST(Fonts, EnlargedByTenPercentOnlyAt96PixelsPerInch) {
    double ppi = 120;
    ScopedServices services{{nullptr, nullptr, {}, [&] { return ppi; }, {}}};
    QWidget window;
    auto* small = new QLabel(&window);
    small->setObjectName("small");
    QFont f8 = small->font();
    f8.setPointSize(8);
    small->setFont(f8);
    auto* inherits = new QLabel(small);  // no font of its own: shows 8 too
    inherits->setObjectName("inherits");
    auto* large = new QLabel(&window);
    large->setObjectName("large");
    QFont f10 = large->font();
    f10.setPointSize(10);
    large->setFont(f10);
    const Handles h = buildHandles(&window);

    ui::ResizeAllFonts(h);
    EXPECT_EQ(small->font().pointSize(), 8);
    ppi = 96;
    ui::ResizeAllFonts(h);
    EXPECT_EQ(small->font().pointSize(), 9);
    EXPECT_EQ(inherits->font().pointSize(), 9);  // enlarged once, not twice
    EXPECT_EQ(large->font().pointSize(), 11);
}

TEST(Pointer, WatchAndBack) {
    QWidget window;
    EXPECT_EQ(getPointer(window), "arrow");
    setPointer(window, "watch");
    EXPECT_EQ(getPointer(window), "watch");
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    setPointer(window, "watch");
    setPointer(window, "arrow");
    EXPECT_EQ(getPointer(window), "arrow");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        QWidget gone;
        setPointer(gone, "watch");
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Controls, PopupPositionsAndTexts) {
    QComboBox popup;
    setItems(popup, {"Hz", "kHz", "MHz"});
    setValue(popup, 3);
    EXPECT_EQ(getValue(popup), 3);
    setValue(popup, 7);
    EXPECT_EQ(popup.currentIndex(), -1);  // nothing selected
    QLabel label;
    EXPECT_THROW(getValue(label), Error);
    EXPECT_EQ(qtNameFilter("*.mat"), "MAT files (*.mat);;All files (*)");
    EXPECT_EQ(qtNameFilter("*.*"), "All files (*)");
}

TEST(Background, WorkRunsOnAnotherThreadAndItsFailureComesBack) {
    QWidget window;
    QThread* worker = nullptr;
    runInBackground(&window, "work", [&] { worker = QThread::currentThread(); });
    EXPECT_NE(worker, nullptr);
    EXPECT_NE(worker, QThread::currentThread());
    EXPECT_THROW(runInBackground(&window, "work", [] { throw Error("vanished instrument"); }),
                 Error);
    EXPECT_EQ(runInBackground<int>(&window, "work", [] { return 7; }), 7);
}

TEST(Background, TheWindowsTakeNoInputMeanwhile) {
    QWidget window;
    auto* button = new QPushButton("Calculate", &window);
    button->resize(100, 30);
    window.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    auto press = [&] {
        const QPointF at(10, 10);
        QMouseEvent down(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QMouseEvent up(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &down);
        QApplication::sendEvent(button, &up);
    };
    std::atomic<bool> release{false};
    QTimer::singleShot(0, [&] {
        press();  // while the work runs
        release = true;
    });
    runInBackground(&window, "work", [&] {
        while (!release)
            QThread::msleep(1);
    });
    EXPECT_EQ(clicks, 0);
    press();
    EXPECT_EQ(clicks, 1);
}

// "Recalc & Download" once showed as "Recalc _Download": the ampersand
// became an access key.
TEST(QtDialogsQuestion, AnAmpersandInAButtonIsTextAndTheLabelComesBack) {
    QtDialogs dialogs;
    std::vector<std::string> shownMnemonics;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        QAbstractButton* recalc = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            shownMnemonics.push_back(QKeySequence::mnemonic(b->text()).toString().toStdString());
            if (b->text().contains("Recalc")) recalc = b;
        }
        if (recalc)
            recalc->click();
        else
            box->reject();
    });
    poll.start();
    const std::string answer =
        dialogs.questionBox("Settings have changed.", "Waveform Not Recalculated",
                            {"Yes", "Recalc & Download", "Cancel"}, "Recalc & Download");
    EXPECT_EQ(answer, "Recalc & Download");
    EXPECT_EQ(shownMnemonics, (std::vector<std::string>{"", "", ""}));
}

TEST(Splash, ShowsItsPictureCentredOnTheScreen) {
    QWidget* splash = ui::QV_Splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_FALSE(uitest::control<QLabel>(*splash, "txtLogo").pixmap().isNull());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(splash->geometry().center().x(), screen.center().x());
    EXPECT_EQ(ui::QV_Splash(), splash);  // an open splash is reused
    delete splash;
}

}  // namespace
