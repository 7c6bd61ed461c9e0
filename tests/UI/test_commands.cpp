// The shared commands: menus, window title, file commands, the stale-waveform
// questions, Help and About, the platform "c" variants and the shut-down.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <map>
#include <sstream>

#include "Instrument/ConfigFile.h"
#include "Instrument/ParameterFiles.h"
#include "OneX/ParametersArray.h"
#include "UI/OneX_Rev_GUI_b.h"
#include "UI/UiTestSupport.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Callbacks.h"
#include "UI/rfCommonUI.h"
#include "platform/MatFile.h"
#include "system/support_sim.h"
#include "version/Version.h"

using namespace onex;
using namespace onex::uitest;
using Kind = onex::platform::ScriptedDialogs::Kind;

namespace {

class Commands : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    std::string title() { return main().windowTitle().toStdString(); }
    std::string path(const std::string& name) { return (folder() / name).string(); }

    // Everything the window shows, to compare before and after.
    std::vector<std::string> snapshot() {
        std::vector<std::string> out{title()};
        for (const std::string& tag : h().tags()) {
            QObject& o = h().at(tag);
            if (qobject_cast<QLineEdit*>(&o) || qobject_cast<QLabel*>(&o))
                out.push_back(tag + "=" + ui::platform::getString(o));
            else if (qobject_cast<QComboBox*>(&o) || qobject_cast<QCheckBox*>(&o))
                out.push_back(tag + "=" + std::to_string(ui::platform::getValue(o)));
            if (auto* wdg = qobject_cast<QWidget*>(&o))
                out.push_back(tag + (wdg->isEnabled() ? " on" : " off"));
        }
        return out;
    }

    void saveAs(const std::string& answer) {
        dialogs.answerSaveFile(answer);
        trigger(w<QAction>("menuFileSaveAs"));
    }
    void open(const std::string& file) {
        dialogs.answerOpenFile(file);
        trigger(w<QAction>("menuFileOpen"));
    }
    void saveWave(std::optional<std::string> answer) {
        dialogs.answerSaveFile(std::move(answer));
        trigger(w<QAction>("menuSpecialSaveWave"));
    }
};

// One entry of the menu table in tests/data/ui/menus.tsv.
struct MenuRow {
    std::string menu, menuLabel, label, tag, routine, attributes;
};

std::vector<MenuRow> menuTable() {
    std::ifstream in(std::string(ONEX_TEST_DATA_DIR) + "/ui/menus.tsv");
    std::vector<MenuRow> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            f.push_back(cell);
        f.resize(6);
        rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return rows;
}

bool has(const std::string& attributes, const std::string& word) {
    return attributes.find(word) != std::string::npos;
}

TEST_F(Commands, MenusFollowTheMenuTable) {
    const std::vector<MenuRow> table = menuTable();
    ASSERT_EQ(table.size(), 18u);
    std::vector<std::string> menus;
    for (QAction* a : main().menuBar()->actions())
        if (a->isVisible()) menus.push_back(a->text().toStdString());
    EXPECT_EQ(menus, (std::vector<std::string>{"&File", "&Plot", "&Configuration", "&Help"}));
    EXPECT_FALSE(ui::platform::getVisible(h().at("menuSpecial")));

    // Each menu holds the table's entries in the table's order (other
    // entries may stand between them), each with its label, callback text,
    // visibility, state and separator.
    std::map<std::string, qsizetype> lastIndex;
    for (const MenuRow& row : table) {
        SCOPED_TRACE(row.tag);
        ASSERT_TRUE(h().has(row.tag));
        QAction& item = w<QAction>(row.tag);
        const QList<QAction*> entries = w<QMenu>(row.menu).actions();
        const qsizetype at = entries.indexOf(&item);
        ASSERT_GE(at, 0) << "not in " << row.menu;
        EXPECT_GT(at, lastIndex.contains(row.menu) ? lastIndex[row.menu] : -1);
        lastIndex[row.menu] = at;
        EXPECT_EQ(item.text().toStdString(), row.label);
        EXPECT_EQ(ui::platform::getCallback(item),
                  "rfCommonUI('" + row.routine + "',gcbo,[],guidata(gcbo))");
        EXPECT_EQ(item.isVisible(), !has(row.attributes, "hidden"));
        // Qt reports a hidden entry as disabled too.
        EXPECT_EQ(item.isEnabled(),
                  !has(row.attributes, "hidden") && !has(row.attributes, "disabled"));
        EXPECT_EQ(at > 0 && entries[at - 1]->isSeparator(), has(row.attributes, "separator"));
    }
    // Beyond the table: the measurements, right after the CCDF.
    const QList<QAction*> plot = w<QMenu>("menuPlot").actions();
    const qsizetype ccdf = plot.indexOf(&w<QAction>("menuPlotCCDF"));
    ASSERT_LT(ccdf + 1, plot.size());
    QAction& measurements = *plot[ccdf + 1];
    EXPECT_EQ(measurements.objectName().toStdString(), "menuPlotMeasurements");
    EXPECT_EQ(measurements.text().toStdString(), "Measurements...");
    EXPECT_TRUE(measurements.isVisible() && measurements.isEnabled());
    EXPECT_EQ(ui::platform::getCallback(measurements),
              "rfCommonUI('menuPlotMeasurements_Callback',gcbo,[],guidata(gcbo))");
    EXPECT_FALSE(h().has("menuConfigBBG1"));
}

// Every callback text in every layout and on every menu entry names a
// routine of a registered module, so a renamed routine fails here and not
// on a click.
TEST_F(Commands, EveryCallbackTextNamesAnExistingRoutine) {
    // The About box, the connection dialog and the impairments dialog
    // register their modules when first opened.
    whenShown("QV_About", [](QWidget& box) { click(control<QPushButton>(box, "pbOK")); });
    trigger(w<QAction>("menuHelpAbout"));
    whenShown("QV_SigGen", [](QWidget& box) { click(control<QPushButton>(box, "pbCancel")); });
    trigger(w<QAction>("menuConfigSigGenIO"));
    whenShown("OneX_Rev_GUI_Impairments",
              [](QWidget& box) { click(control<QPushButton>(box, "pbCancel")); });
    trigger(w<QAction>("menuConfigImpairments"));
    deliverDeferred();

    std::vector<QWidget*> windows{&main()};
    for (const QString& file : QDir(":/layouts").entryList({"*.ui"}))
        windows.push_back(ui::platform::openLayout(file.chopped(3).toStdString()));
    std::size_t checked = 0;
    const auto& router = ui::platform::services().router;
    for (QWidget* window : windows) {
        QList<QObject*> objects = window->findChildren<QObject*>();
        objects.push_back(window);
        for (QObject* o : objects)
            for (const char* property : {"Callback", "CloseRequestFcn"}) {
                const std::string text = o->property(property).toString().toStdString();
                if (text.empty()) continue;
                const auto call = ui::platform::parseCallback(text);
                ASSERT_TRUE(call) << text;
                EXPECT_TRUE(router.has(call->module, call->routine))
                    << o->objectName().toStdString() << ": " << text;
                ++checked;
            }
        if (window != &main()) delete window;
    }
    EXPECT_GT(checked, 150u);  // the layouts alone carry more than 130
}

TEST_F(Commands, TitleFollowsNewOpenAndSaveAs) {
    saveAs(path("setup"));
    const std::string file = path("setup.mat");
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(dialogs.shown()[0].text, "*.mat");
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link : " + file);

    trigger(w<QAction>("menuFileNew"));
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link");

    type(w<QLineEdit>("orateText"), "9");
    dialogs.answerQuestion("Discard");  // the edit is dropped
    open(file);
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link : " + file);
    EXPECT_EQ(state().parameters.OverSampling, 5);
    EXPECT_EQ(text("orateText"), "5");
}

TEST_F(Commands, SaveWritesToTheCurrentFileWithoutAsking) {
    saveAs(path("a.mat"));  // already has the extension: kept as it is
    ASSERT_TRUE(std::filesystem::exists(path("a.mat")));
    type(w<QLineEdit>("orateText"), "12");
    trigger(w<QAction>("menuFileSave"));
    EXPECT_EQ(dialogs.shown().size(), 1u);  // only the first picker
    const auto read = readParameterFile(path("a.mat"), state().parameters.ParameterFileFormat_ID);
    ASSERT_TRUE(read.result.ok) << read.result.message;
    EXPECT_EQ(read.contents->parameters.OverSampling, 12);
    EXPECT_EQ(read.contents->settings->SamplingRate, 12 * 1228800);

    saveAs(path("TEST.MAT"));
    EXPECT_TRUE(std::filesystem::exists(path("TEST.MAT.mat")));
}

TEST_F(Commands, SaveWithoutAFileAsksForOneAndCancelWritesNothing) {
    dialogs.answerSaveFile(std::nullopt);
    trigger(w<QAction>("menuFileSave"));
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link");
    EXPECT_TRUE(std::filesystem::is_empty(folder()));
}

TEST_F(Commands, AFailedSaveIsShownAndTheTitleKeepsTheFileItHad) {
    saveAs(path("good.mat"));
    const std::string bad = path("no/such/folder/x.mat");
    dialogs.answerSaveFile(bad).expectError();
    trigger(w<QAction>("menuFileSaveAs"));
    EXPECT_EQ(dialogs.shown().back().title, "Error Saving " + bad);
    EXPECT_TRUE(dialogs.shown().back().modal);
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link : " + path("good.mat"));
}

TEST_F(Commands, RefusedLoadsLeaveTheWindowAsItWas) {
    type(w<QLineEdit>("orateText"), "7");
    click(w<QCheckBox>("DRCactive"));
    const auto before = snapshot();
    const Parameters parameters = state().parameters;

    std::ofstream(path("text.mat")) << "not a MAT-file\n";
    Parameters older = InitializeParameters();
    older.ParameterFileFormat_ID = "OneX-Rev - Format 1.0";
    Parameters noId = InitializeParameters();
    onex::platform::Array noIdArray = toArray(noId);
    noIdArray.removeField("ParameterFileFormat_ID");
    onex::platform::writeMatFile(path("older.mat"), {{"fileParameters", toArray(older)}});
    onex::platform::writeMatFile(path("noid.mat"), {{"fileParameters", noIdArray}});
    onex::platform::writeMatFile(path("other.mat"), {{"x", onex::platform::Array(1.0)}});

    const std::pair<std::string, std::string> cases[] = {
        {"text.mat", ""},
        {"older.mat", "has an Invalid File Parameter ID."},
        {"noid.mat", "has an Invalid File Structure."},
        {"other.mat", "has an Invalid File Format."}};
    for (const auto& [name, message] : cases) {
        dialogs.answerQuestion("Discard").answerOpenFile(path(name)).expectError();
        trigger(w<QAction>("menuFileOpen"));
        const auto& box = dialogs.shown().back();
        EXPECT_EQ(box.kind, Kind::Error) << name;
        EXPECT_EQ(box.title, "Error Loading File") << name;
        if (!message.empty()) {
            EXPECT_EQ(box.text, path(name) + "\n" + message);
        }
        EXPECT_FALSE(box.text.empty());
        EXPECT_EQ(snapshot(), before) << name;
        EXPECT_EQ(state().parameters, parameters) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(path("qkwlem2nd.mat")));
}

TEST_F(Commands, AParameterFileWithAnotherExtensionLoadsByItsContent) {
    type(w<QLineEdit>("IMaskText"), "123");
    saveAs(path("set.mat"));
    std::filesystem::rename(path("set.mat"), path("set.cfg"));
    trigger(w<QAction>("menuFileNew"));
    open(path("set.cfg"));
    EXPECT_EQ(state().parameters.IMask, 0x123);
    EXPECT_EQ(text("IMaskText"), "123");
}

// New, Open, Exit and the close box once dropped edited settings without a
// word. They now offer to save them first.
TEST_F(Commands, EditedSettingsAreOfferedForSavingBeforeTheyAreDropped) {
    type(w<QLineEdit>("orateText"), "9");
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuFileNew"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& question = dialogs.shown()[0];
    EXPECT_EQ(question.kind, Kind::Question);
    EXPECT_EQ(question.text, "Save changes to Untitled?");
    EXPECT_EQ(question.title, "1xEV Reverse Link");
    EXPECT_EQ(question.choices, (std::vector<std::string>{"Save", "Discard", "Cancel"}));
    EXPECT_EQ(question.defaultChoice, "Save");
    EXPECT_EQ(state().parameters.OverSampling, 9);  // Cancel: no New

    // Save asks for a name (there is none yet), writes, then New goes on.
    dialogs.answerQuestion("Save").answerSaveFile(path("kept"));
    trigger(w<QAction>("menuFileNew"));
    EXPECT_EQ(state().parameters.OverSampling, 5);
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link");
    auto stored = [&](const std::string& name) {
        return readParameterFile(path(name), state().parameters.ParameterFileFormat_ID)
            .contents->parameters.OverSampling;
    };
    EXPECT_EQ(stored("kept.mat"), 9);
    trigger(w<QAction>("menuFileNew"));  // nothing edited since: no question

    // An edit undone is no edit; a file opened is named in the question.
    open(path("kept.mat"));
    type(w<QLineEdit>("orateText"), "4");
    type(w<QLineEdit>("orateText"), "9");
    open(path("kept.mat"));
    type(w<QLineEdit>("txtAmplitude"), "-20");  // the settings panel counts too
    dialogs.answerQuestion("Save");             // to the file it came from
    exitApp();
    EXPECT_EQ(dialogs.shown().back().text, "Save changes to kept.mat?");
    EXPECT_TRUE(mainGone());
    const auto read = readParameterFile(path("kept.mat"), "OneX-Rev - Format 1.1");
    ASSERT_TRUE(read.result.ok);
    EXPECT_EQ(read.contents->settings->Amplitude, -20);
}

TEST_F(Commands, TheCloseBoxStaysWhenTheSaveIsCancelledOrFails) {
    type(w<QLineEdit>("orateText"), "3");
    dialogs.answerQuestion("Save").answerSaveFile(std::nullopt);
    main().close();
    deliverDeferred();
    ASSERT_FALSE(mainGone());
    const std::string bad = path("no/such/folder/x.mat");
    dialogs.answerQuestion("Save").answerSaveFile(bad).expectError();
    main().close();
    deliverDeferred();
    ASSERT_FALSE(mainGone());
    dialogs.answerQuestion("");  // the question closed: as Cancel
    main().close();
    deliverDeferred();
    ASSERT_FALSE(mainGone());
    EXPECT_EQ(state().parameters.OverSampling, 3);
    dialogs.answerQuestion("Discard");
    main().close();
    deliverDeferred();
    EXPECT_TRUE(mainGone());
}

// Ctrl+S, Ctrl+O and Ctrl+N; a shortcut takes the text being typed in a
// field as Enter would.
TEST_F(Commands, FileShortcutsWorkOnWhatTheFieldsShow) {
    typeUncommitted(main(), w<QLineEdit>("orateText"), "12");
    dialogs.answerSaveFile(path("keys"));
    QTest::keyClick(&main(), Qt::Key_S, Qt::ControlModifier);
    const auto read = readParameterFile(path("keys.mat"), "OneX-Rev - Format 1.1");
    ASSERT_TRUE(read.result.ok) << read.result.message;
    EXPECT_EQ(read.contents->parameters.OverSampling, 12);

    QTest::keyClick(&main(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(state().parameters.OverSampling, 5);
    dialogs.answerOpenFile(path("keys.mat"));
    QTest::keyClick(&main(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(state().parameters.OverSampling, 12);
}

// --- the stale-waveform questions, through the Save Wave command ---

TEST_F(Commands, NoWaveformYetAsksToCalculate) {
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuSpecialSaveWave"));
    ASSERT_EQ(dialogs.shown().size(), 1u);  // no picker after Cancel
    EXPECT_FALSE(state().appInfo.LastCalcTimeStamp);
    EXPECT_EQ(dialogs.shown()[0].title, "Waveform Not Calculated");
    EXPECT_EQ(dialogs.shown()[0].choices, (std::vector<std::string>{"Calculate & Save", "Cancel"}));
    EXPECT_EQ(dialogs.shown()[0].defaultChoice, "Calculate & Save");
    EXPECT_EQ(dialogs.shown()[0].text,
              "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform "
              "and then save ?");
}

TEST_F(Commands, CalculateAndSaveOrAClosedQuestionBothGoAhead) {
    dialogs.answerQuestion("Calculate & Save");
    saveWave(path("w1.txt"));
    EXPECT_TRUE(state().appInfo.LastCalcTimeStamp);
    ASSERT_TRUE(std::filesystem::exists(path("w1.txt")));
    const auto vars = onex::platform::readMatFile(path("w1.txt"));
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[0].name, "wave");
    EXPECT_EQ(vars[0].value.dims(), (onex::platform::Array::Dims{163840, 2}));
    EXPECT_EQ(vars[1].name, "sampleRate");
    EXPECT_EQ(vars[1].value.scalar(), 6144000);
    EXPECT_EQ(vars[2].name, "samplePoints");
    EXPECT_EQ(vars[2].value.scalar(), 163840);

    restart();
    dialogs.answerQuestion("");  // closed without a button
    saveWave(std::nullopt);
    EXPECT_TRUE(state().appInfo.LastCalcTimeStamp);
}

TEST_F(Commands, ChangedSettingsAskWithThreeButtons) {
    click(w<QAbstractButton>("pbCalculate"));
    const auto firstStamp = state().appInfo.LastCalcTimeStamp;
    click(w<QCheckBox>("ACKactive"));

    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuSpecialSaveWave"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto q = dialogs.shown()[0];
    EXPECT_EQ(q.title, "Waveform Not Recalculated");
    EXPECT_EQ(q.text,
              "Settings have changed since last calculating the waveform.\nSave will use the last "
              "calculated waveform.\nDo you wish to save anyway ?");
    EXPECT_EQ(q.choices, (std::vector<std::string>{"Yes", "Recalc & Save", "Cancel"}));
    EXPECT_EQ(q.defaultChoice, "Recalc & Save");

    // Yes: the old waveform, no calculation.
    clock.date = {2002, 8, 21, 10, 0, 0};
    dialogs.answerQuestion("Yes").answerSaveFile(std::nullopt);
    trigger(w<QAction>("menuSpecialSaveWave"));
    EXPECT_EQ(state().appInfo.LastCalcTimeStamp, firstStamp);
    EXPECT_NE(state().appInfo.LastCaluclatedParameterSet, state().parameters);

    // Recalc & Save: calculated first.
    dialogs.answerQuestion("Recalc & Save").answerSaveFile(std::nullopt);
    trigger(w<QAction>("menuSpecialSaveWave"));
    EXPECT_NE(state().appInfo.LastCalcTimeStamp, firstStamp);
    EXPECT_EQ(state().appInfo.LastCaluclatedParameterSet, state().parameters);
    EXPECT_EQ(dialogs.shown().size(), 5u);
}

TEST_F(Commands, ChangingAParameterBackMakesTheWaveformCurrentAgain) {
    click(w<QAbstractButton>("pbCalculate"));
    type(w<QLineEdit>("orateText"), "6");
    type(w<QLineEdit>("orateText"), "5");
    saveWave(std::nullopt);  // no question, straight to the picker
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::SaveFile);
    EXPECT_EQ(dialogs.shown()[0].text, "*.txt");
}

// A new sample clock alone leaves a clean waveform current, but one with
// noise (made for the clock it was calculated at) goes stale; either way a
// saved waveform states the clock it was calculated for.
TEST_F(Commands, ANewSampleClockMakesOnlyAnImpairedWaveformStale) {
    click(w<QAbstractButton>("pbCalculate"));  // 6.144 MHz
    type(w<QLineEdit>("txtSamplingRate"), "7");
    ASSERT_EQ(state().SigGenSettings.SamplingRate, 7e6);
    saveWave(path("clean.txt"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::SaveFile);
    EXPECT_EQ(onex::platform::readMatFile(path("clean.txt"))[1].value.scalar(), 6144000);

    restart();
    state().parameters.CNRatio = 20;
    click(w<QAbstractButton>("pbCalculate"));
    type(w<QLineEdit>("txtSamplingRate"), "7");
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuSpecialSaveWave"));
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].title, "Waveform Not Recalculated");
}

TEST_F(Commands, NaNAtTheSamePlaceCountsAsEqual) {
    state().parameters.ProjectedLength = std::nan("");  // no calculation reads it
    click(w<QAbstractButton>("pbCalculate"));
    saveWave(std::nullopt);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::SaveFile);
}

// --- Help, About ---

TEST_F(Commands, HelpSaysItIsNotAvailable) {
    dialogs.expectMessage();
    trigger(w<QAction>("menuHelpHelp"));
    EXPECT_EQ(dialogs.shown()[0].text, "HTML help is not available in this version.");
    EXPECT_EQ(dialogs.shown()[0].title, "Option unavailable");
    EXPECT_TRUE(dialogs.shown()[0].modal);
}

TEST_F(Commands, AboutShowsTheApplicationInformation) {
    std::map<std::string, std::string> shown;
    whenShown("QV_About", [&](QWidget& box) {
        shown["title"] = box.windowTitle().toStdString();
        for (const char* tag :
             {"lblRevision", "lblVersion", "lblDate", "lblNotes", "txtNotesLine2", "txtNotesLine5"})
            shown[tag] = ui::platform::getString(control<QLabel>(box, tag));
        shown["logo"] = control<QLabel>(box, "txtLogo").pixmap().isNull() ? "none" : "shown";
        click(control<QPushButton>(box, "pbOK"));
    });
    trigger(w<QAction>("menuHelpAbout"));
    EXPECT_EQ(shown["title"], "1xEV Reverse Link");
    EXPECT_EQ(shown["lblRevision"], "A.01.06");
    EXPECT_EQ(shown["lblVersion"], onex::versionText());
    EXPECT_EQ(shown["lblDate"], "21-Aug-2002");
    EXPECT_EQ(shown["lblNotes"], "Release Notes:");
    EXPECT_EQ(shown["txtNotesLine2"], "1xEV Reverse Link Signal Generation Applet for");
    EXPECT_EQ(shown["txtNotesLine5"], "of the 1xEV Reverse Link standard.");
    EXPECT_EQ(shown["logo"], "shown");
    deliverDeferred();
    EXPECT_EQ(ui::platform::findOpenLayout("QV_About"), nullptr);
}

TEST_F(Commands, AboutRevisionForReleasesAndPrototypes) {
    ui::AppInfo info = state().appInfo;
    EXPECT_EQ(ui::aboutRevision(info), "A.01.06");
    info.IsRelease = 0;
    EXPECT_EQ(ui::aboutRevision(info), "A.01.06.000  Proto");
    info.IsRelease = 1;
    info.Rev = "B.2";
    EXPECT_EQ(ui::aboutRevision(info), "B.2    ");
    QLabel notAWindowParent(&main());
    EXPECT_THROW(ui::QV_About(&notAWindowParent, &info), Error);
    try {
        ui::QV_About(nullptr, &info);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Input argument must be a handle to parent");
    }
}

// --- platform "c" ---

TEST_F(Commands, PlatformCAddsTheBasebandOptionsAndItsTexts) {
    state().appInfo.Platform = "c";
    state().configuration.BBGtype = "001";
    QWidget* fig = ui::loadFigure("OneX_Rev_GUI_b", nullptr);
    std::unique_ptr<QWidget> owner(fig);
    ui::common::QV_AddMenu(state(), *qobject_cast<QMainWindow*>(fig));
    ui::platform::guidata(fig, ui::platform::buildHandles(fig));
    ui::platform::Handles& ch = *ui::platform::guidata(fig);
    ui::common::InitializeFigure(state(), ch);

    EXPECT_EQ(ch.get<QMenu>("menuConfigBBG1").title().toStdString(), "&Baseband Generator");
    EXPECT_TRUE(ch.get<QAction>("menuConfigBBG1Opt1").isChecked());
    EXPECT_FALSE(ch.get<QAction>("menuConfigBBG1Opt2").isChecked());
    EXPECT_EQ(ch.get<QAction>("menuConfigBBG1Opt2").text().toStdString(),
              "Option 00&2 (32 Msamples)");
    EXPECT_EQ(ui::platform::getTooltip(ch.at("txtEvent4")),
              "Description of the signal available on\nthe Event 4 Connector of the rear panel.");
    EXPECT_EQ(ui::platform::getTooltip(ch.at("txtNumberOfSamples")),
              "The number of samples generated \nby the current settings.\n(The K2218C can hold "
              "up to 8 or 32 M samples.)");

    trigger(ch.get<QAction>("menuConfigBBG1Opt2"));
    EXPECT_EQ(state().configuration.BBGtype, "002");
    EXPECT_FALSE(ch.get<QAction>("menuConfigBBG1Opt1").isChecked());
    EXPECT_TRUE(ch.get<QAction>("menuConfigBBG1Opt2").isChecked());
    trigger(ch.get<QAction>("menuConfigBBG1Opt1"));
    EXPECT_EQ(state().configuration.BBGtype, "001");
    EXPECT_TRUE(ch.get<QAction>("menuConfigBBG1Opt1").isChecked());
}

// --- configuration and shut-down ---

TEST_F(Commands, ExitClosesClientWindowsAndWritesTheConfiguration) {
    auto* closedByUser = new QWidget;
    auto* stillOpen = new QWidget;
    QPointer<QWidget> stillOpenGuard(stillOpen);
    state().appInfo.ClientWindows = {closedByUser, stillOpen};
    delete closedByUser;
    state().configuration.GPIB->primary = 7;
    exitApp();
    EXPECT_TRUE(stillOpenGuard.isNull());
    EXPECT_TRUE(mainGone());
    const auto stored = loadConfig(folder() / "rfIOConfig.mat");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->GPIB->primary, 7);
}

TEST_F(Commands, TheConnectionChosenIsUsedAfterTheNextStart) {
    EXPECT_EQ(state().configuration.GPIB->primary, 19);  // no configuration file yet
    whenShown("QV_SigGen", [](QWidget& d) {
        choose(control<QComboBox>(d, "pmPrimaryAddress"), 23);  // address 22
        click(control<QPushButton>(d, "pbOK"));
    });
    trigger(w<QAction>("menuConfigSigGenIO"));
    EXPECT_EQ(state().configuration.GPIB->primary, 22);
    EXPECT_EQ(state().configuration.BBGtype, "002");  // fields outside the dialog stay

    saveAs(path("p.mat"));
    main().close();  // the close box exits like File/Exit
    deliverDeferred();
    EXPECT_TRUE(mainGone());
    restart();
    EXPECT_EQ(state().configuration.GPIB->primary, 22);
    // The parameter file of the last run is not the current one.
    EXPECT_EQ(title(), "Wavecraft - 1xEV Reverse Link");
}

TEST_F(Commands, AConnectionDialogCancelledChangesNothing) {
    const IoConfig before = state().configuration;
    whenShown("QV_SigGen", [](QWidget& d) {
        choose(control<QComboBox>(d, "pmPrimaryAddress"), 2);
        click(control<QPushButton>(d, "pbCancel"));
    });
    trigger(w<QAction>("menuConfigSigGenIO"));
    EXPECT_EQ(state().configuration, before);
}

TEST_F(Commands, AnOldStyleConfigurationFileIsConvertedAtStart) {
    using onex::platform::Array;
    const Array old = Array::structure({{"Connection", Array(2.0)},
                                        {"GPIBboard", Array(1.0)},
                                        {"Primary", Array(11.0)},
                                        {"Secondary", Array(-1.0)},
                                        {"RS232Port", Array(2.0)},
                                        {"BaudRate", Array(9600.0)},
                                        {"HandShake", Array(0.0)}});
    onex::platform::writeMatFile(folder() / "rfIOConfig.mat", {{"fileParameters", old}});
    restart();
    EXPECT_EQ(state().configuration.type, "GPIB");
    EXPECT_EQ(state().configuration.GPIB->primary, 11);
    EXPECT_EQ(state().configuration.GPIB->board, 1);
    EXPECT_EQ(state().configuration.RS232->handshake, "None");

    // The command line reads the same file the same way (it once printed
    // "Connection: ?").
    const auto run = testsim::runProgram(
        {std::string(ONEX_BIN_DIR) + "/onexrev-cli", "ping", "--config", "rfIOConfig.mat"},
        folder());
    EXPECT_NE(run.out.find("Connection: GPIB board 1 primary 11 secondary -1\n"), std::string::npos)
        << run.out << run.err;
}

TEST_F(Commands, AStoredLanConnectionSurvivesTheDialogAndTheExit) {
    IoConfig lan = startupIoConfig();
    lan.type = "TCPIP";
    lan.TCPIP->address = "192.0.2.7:5025";
    ASSERT_TRUE(saveConfig(lan));
    restart();
    bool lanShown = false;
    whenShown("QV_SigGen", [&](QWidget& d) {
        lanShown = control<QLineEdit>(d, "editTCPIPAddress").isVisible();
        click(control<QPushButton>(d, "pbOK"));  // nothing touched
    });
    trigger(w<QAction>("menuConfigSigGenIO"));
    EXPECT_TRUE(lanShown);
    EXPECT_EQ(state().configuration.type, "TCPIP");
    EXPECT_EQ(state().configuration.TCPIP->address, "192.0.2.7:5025");
    exitApp();
    const auto stored = loadConfig(folder() / "rfIOConfig.mat");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, "TCPIP");
    EXPECT_EQ(stored->TCPIP->address, "192.0.2.7:5025");
}

TEST(PlotTimeStamp, DayMonthYearAndClock) {
    EXPECT_EQ(ui::common::plotTimeStamp({2002, 8, 21, 9, 5, 7.8}), "21AUG2002 9:05:07");
    EXPECT_EQ(ui::common::plotTimeStamp({2024, 1, 3, 23, 59, 59.99}), "03JAN2024 23:59:59");
}

}  // namespace
