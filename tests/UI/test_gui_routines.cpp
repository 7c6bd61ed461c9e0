// The window routines as the exported library calls them: platform values in
// and out, windows and controls as numbers.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <set>

#include "UI/GuiRoutines.h"
#include "UI/OneX_Rev_GUI_SlotSetup.h"
#include "UI/UiTestSupport.h"
#include "UI/WindowUtilities.h"
#include "lib/Routines.h"

using namespace onex;
using namespace onex::uitest;
using onex::platform::Array;

namespace {

std::vector<Array> call(const char* name, std::vector<Array> in, std::size_t nargout = 1) {
    const ui::GuiRoutine* r = ui::findGuiRoutine(name);
    if (!r) throw std::runtime_error(std::string("no routine ") + name);
    return r->call(in, nargout);
}

TEST(Handles, NumbersStandForLivingObjects) {
    EXPECT_EQ(ui::handleOf(nullptr), 0);
    auto* w = new QWidget;
    const double n = ui::handleOf(w);
    EXPECT_GT(n, 0);
    EXPECT_EQ(ui::handleOf(w), n);
    EXPECT_EQ(ui::objectOf(n), w);
    delete w;
    EXPECT_EQ(ui::objectOf(n), nullptr);
    EXPECT_EQ(ui::objectOf(12345678), nullptr);
}

TEST(Handles, AsAStructureAndBack) {
    QWidget window;
    window.setObjectName("main");
    auto* label = new QLabel(&window);
    label->setObjectName("lblA");
    ui::platform::guidata(&window, ui::platform::buildHandles(&window));
    const Array s = ui::handlesToArray(*ui::platform::guidata(&window));
    ASSERT_TRUE(s.hasField("lblA"));
    EXPECT_EQ(ui::objectOf(s.field("lblA").scalar()), label);
    EXPECT_EQ(ui::handlesFromArray(s), ui::platform::guidata(&window));
    EXPECT_EQ(ui::handlesFromArray(Array(1.0)), nullptr);
}

TEST(Table, EveryWindowRoutineIsListedOnce) {
    std::set<std::string_view> names;
    for (const auto& r : ui::guiRoutines())
        EXPECT_TRUE(names.insert(r.name).second) << r.name;
    for (const char* name :
         {"OneX_Rev_b", "OneX_Rev_GUI_b", "OneX_Rev_GUI_SlotSetup", "rfCommonUI", "TARNconfig",
          "QV_SigGen", "QV_About", "QV_Splash", "loadFigure", "PositionChildWindow",
          "ResizeAllFonts", "QV_AddMenu", "QV_PlotCCDF", "QV_PlotSpectrum", "QV_PlotIQTime",
          "QV_PlotEyeDiagram", "QV_PlotScatterDiagram", "QV_PlotWaterfall"})
        EXPECT_TRUE(names.count(name)) << name;
}

// The library's registry declares the window routines for its entry points
// and count checks; the table here runs them. They must say the same.
TEST(Table, AgreesWithTheLibraryRegistry) {
    std::size_t windowRoutines = 0;
    for (const auto& r : ui::guiRoutines()) {
        const lib::Routine* declared = lib::findRoutine(r.name);
        ASSERT_NE(declared, nullptr) << r.name << " is not in Routines.def";
        EXPECT_EQ(declared->minInputs, r.minInputs) << r.name;
        EXPECT_EQ(declared->inputs, r.inputs) << r.name;
        EXPECT_EQ(declared->outputs, r.outputs) << r.name;
        // A dispatcher's outputs depend on the routine it runs.
        EXPECT_EQ(declared->anyOutputs(), declared->kind == lib::OutputKind::VaryingOutputs)
            << r.name;
        ++windowRoutines;
    }
    EXPECT_EQ(windowRoutines, 18u);
    EXPECT_TRUE(lib::findRoutine("QV_SigGen")->anyInputs());
    EXPECT_FALSE(lib::findRoutine("QV_About")->anyInputs());
}

class ThroughTheTable : public AppTest {};

TEST_F(ThroughTheTable, TheMainWindowOpensAndRunsItsCallbacksByName) {
    const auto out = call("OneX_Rev_GUI_b", {});
    ASSERT_EQ(out.size(), 1u);
    auto* main = qobject_cast<QMainWindow*>(ui::objectOf(out[0].scalar()));
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    ui::platform::Handles& h = *ui::platform::guidata(main);
    const Array handles = ui::handlesToArray(h);

    // A click seen by the library's caller: the control changes, then its
    // callback is run by name.
    h.get<QCheckBox>("DRCactive").setChecked(true);
    call("OneX_Rev_GUI_b", {Array::string("DRCactive_Callback"),
                            Array(ui::handleOf(&h.at("DRCactive"))), Array(), handles});
    EXPECT_EQ(ui::runningApplication()->state().parameters.DRCactive, 1);
    EXPECT_TRUE(h.get<QWidget>("DRCRelGain").isEnabled());

    // A failing routine is printed, not raised.
    call("rfCommonUI", {Array::string("noSuchRoutine"), Array(), Array(), handles});
    ASSERT_FALSE(console.empty());
    EXPECT_NE(console.back().find("rfCommonUI/noSuchRoutine"), std::string::npos);

    QPointer<QMainWindow> guard(main);
    dialogs.answerQuestion("Discard");  // the DRC switch is an edit
    call("rfCommonUI", {Array::string("menuFileExit_Callback"), Array(), Array(), handles});
    deliverDeferred();
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(ui::runningApplication(), nullptr);
    EXPECT_THROW(call("TARNconfig", {Array::string("redrawSigGenSettings"), handles}), Error);
}

TEST_F(ThroughTheTable, TheSlotDialogTakesAndGivesStructures) {
    start();
    const double fig = ui::handleOf(state().figureList.figSlotSetup);
    Array slot = Array::structure({{"ACKslotActive", Array::row(std::vector<double>(16, 0))},
                                   {"ACKslotValue", Array::row(std::vector<double>(16, 1))},
                                   {"DRCslotActive", Array::row(std::vector<double>(17, 1))},
                                   {"DRCslotValue", Array::row(std::vector<double>(17, 3))},
                                   {"DRCslotCover", Array::row(std::vector<double>(17, 2))}});
    whenShown("OneX_Rev_GUI_SlotSetup", [](QWidget& d) {
        type(control<QLineEdit>(d, "txtDRCslotValue1"), "C");
        click(control<QPushButton>(d, "pbOK"));
    });
    const auto out = call("OneX_Rev_GUI_SlotSetup", {Array(fig), slot}, 2);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].toString(), "OK");
    const auto values = out[1].field("DRCslotValue").toDoubleVector();
    EXPECT_EQ(values[0], 12);
    EXPECT_EQ(values[1], 3);
    EXPECT_EQ(out[1].field("ACKslotActive").toDoubleVector(), std::vector<double>(16, 0));
}

TEST_F(ThroughTheTable, TheConnectionDialogAnswersWithItsConfiguration) {
    whenShown("QV_SigGen", [](QWidget& d) {
        EXPECT_EQ(ui::platform::getItems(control<QComboBox>(d, "pmConnection")).size(), 3u);
        click(control<QPushButton>(d, "pbOK"));
    });
    const auto out = call("QV_SigGen", {Array(), Array(), Array::string("b")}, 2);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].toString(), "OK");
    EXPECT_EQ(out[1].field("GPIB").field("primary").scalar(), 19);
}

TEST_F(ThroughTheTable, WindowsAreNamedByTheirNumbers) {
    start();
    const double mainHandle = ui::handleOf(&main());
    EXPECT_THROW(call("QV_About", {Array(987654.0), Array()}), Error);
    const auto fig = call("loadFigure", {Array::string("QV_Splash"), Array(mainHandle)});
    auto* splash = qobject_cast<QWidget*>(ui::objectOf(fig[0].scalar()));
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->geometry().center(), main().geometry().center());
    EXPECT_THROW(call("PositionChildWindow", {Array(0.0), Array(987654.0)}), Error);
    call("PositionChildWindow", {Array(0.0), fig[0]});
    delete splash;
}

}  // namespace
