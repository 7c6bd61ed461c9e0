// The I/O configuration file and the signal-generator settings table.
#include <gtest/gtest.h>

#include <limits>

#include "FileTestSupport.h"
#include "Instrument/ConfigFile.h"
#include "Instrument/SigGenSettings.h"
#include "Instrument/SigGenSettingsArray.h"
#include "MexIO/IoConfigArray.h"
#include "platform/MatFile.h"

using namespace onex;
using onex::platform::Array;
using onex::testfiles::ScopedCwd;
using onex::testfiles::TempDir;

namespace {

IoConfig changedConfig() {
    IoConfig c = startupIoConfig();
    c.type = "TCPIP";
    c.GPIB->primary = 7;
    c.GPIB->secondary = 96;
    c.RS232->baudrate = 115200;
    c.RS232->handshake = "None";
    c.RS232->device = "/dev/ttyUSB0";
    c.TCPIP->address = "192.0.2.17";
    c.BBGtype = "001";
    c.LastParameterFilename = "/home/user/set.mat";
    return c;
}

}  // namespace

TEST(ConfigFile, StartsWithoutAFileAndKeepsAChangedAddressForTheNextRun) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    EXPECT_FALSE(loadConfig().has_value());  // start-up defaults stay: GPIB 19 on board 0

    ASSERT_TRUE(saveConfig(changedConfig()));
    EXPECT_TRUE(std::filesystem::exists(dir / "rfIOConfig.mat"));
    auto loaded = loadConfig();
    ASSERT_TRUE(loaded.has_value());
    IoConfig expected = changedConfig();
    expected.LastParameterFilename = "";  // a new run has no current parameter file
    EXPECT_EQ(*loaded, expected);

    // The file holds the one variable fileParameters, with the shell's fields.
    auto vars = platform::readMatFile(dir / "rfIOConfig.mat");
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(vars[0].name, "fileParameters");
    EXPECT_EQ(vars[0].value.fieldNames(),
              (std::vector<std::string>{"type", "GPIB", "RS232", "TCPIP", "BBGtype",
                                        "LastParameterFilename"}));
    EXPECT_TRUE(vars[0].value.field("LastParameterFilename") ==
                Array::string("/home/user/set.mat"));
    EXPECT_TRUE(vars[0].value.field("GPIB").field("primary") == Array(7.0));
}

TEST(ConfigFile, MissingPartsStayMissingAndUnknownFieldsAreIgnored) {
    TempDir dir;
    Array partial = Array::structure({{"type", Array::string("RS232")},
                                      {"RS232", Array::structure({{"port", Array(2.0)}})},
                                      {"Future", Array(1.0)}});
    platform::writeMatFile(dir / "c.mat", {{"fileParameters", partial}});
    auto c = loadConfig(dir / "c.mat");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->type, "RS232");
    EXPECT_FALSE(c->GPIB.has_value());
    EXPECT_FALSE(c->TCPIP.has_value());
    ASSERT_TRUE(c->RS232.has_value());
    EXPECT_EQ(c->RS232->port, 2.0);
    EXPECT_FALSE(c->RS232->baudrate.has_value());
    EXPECT_EQ(c->LastParameterFilename, "");
}

TEST(ConfigFile, MissingCorruptOrForeignFilesGiveNothing) {
    TempDir dir;
    onex::testfiles::writeText(dir / "text.mat", "GPIB 19\n");
    platform::writeMatFile(dir / "other.mat", {{"configuration", toArray(startupIoConfig())}});
    const auto with = [](const char* sub, const char* name, Array v) {
        Array c = toArray(startupIoConfig());
        if (*sub)
            c.field(sub).setField(name, std::move(v));
        else
            c.setField(name, std::move(v));
        return c;
    };
    const Array bad[] = {
        Array(1.0),
        with("GPIB", "primary", Array::string("19")),
        with("GPIB", "primary", Array(std::numeric_limits<double>::quiet_NaN())),
        with("GPIB", "board", Array::row({0, 1})),
        with("", "GPIB", Array(19.0)),
        with("", "type", Array(1.0)),
        with("TCPIP", "address", Array::charMatrix({"1.2", "3.4"})),
    };
    EXPECT_FALSE(loadConfig(dir / "absent.mat").has_value());
    EXPECT_FALSE(loadConfig(dir / "text.mat").has_value());
    EXPECT_FALSE(loadConfig(dir / "other.mat").has_value());
    for (const Array& b : bad) {
        platform::writeMatFile(dir / "bad.mat", {{"fileParameters", b}});
        EXPECT_FALSE(loadConfig(dir / "bad.mat").has_value());
    }
    EXPECT_FALSE(saveConfig(startupIoConfig(), dir / "no folder" / "rfIOConfig.mat"));
}

TEST(ConfigFile, OldStyleFilesAreReadInTheirCurrentForm) {
    TempDir dir;
    Array old = Array::structure({{"Connection", Array(1.0)},
                                  {"GPIBboard", Array(0.0)},
                                  {"Primary", Array(5.0)},
                                  {"Secondary", Array(-1.0)},
                                  {"RS232Port", Array(2.0)},
                                  {"BaudRate", Array(38400.0)},
                                  {"HandShake", Array(2.0)},
                                  {"BBGtype", Array::string("001")}});
    platform::writeMatFile(dir / "old.mat", {{"fileParameters", old}});
    auto c = loadConfig(dir / "old.mat");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->type, "RS232");
    EXPECT_EQ(c->RS232->handshake, "RTS/CTS");
    EXPECT_EQ(c->BBGtype, "001");  // fields of the shell stay

    // A handshake number beyond the list keeps Xon/Xoff; a missing old field
    // makes the file count as none.
    old.setField("HandShake", Array(7.0));
    platform::writeMatFile(dir / "old.mat", {{"fileParameters", old}});
    EXPECT_EQ(loadConfig(dir / "old.mat")->RS232->handshake, "Xon/Xoff");
    old.removeField("Primary");
    platform::writeMatFile(dir / "old.mat", {{"fileParameters", old}});
    EXPECT_FALSE(loadConfig(dir / "old.mat").has_value());
}

TEST(SigGenSettings, DefaultsFollowTheOversampling) {
    SigGenSettings s = InitializeSigGenSettings(5);
    EXPECT_EQ(s.Title, "OneX-Rev");
    EXPECT_EQ(s.Frequency, 2200000000);
    EXPECT_EQ(s.Amplitude, -30);
    EXPECT_EQ(s.SamplingRate, 6144000);
    EXPECT_EQ(s.ReconFilter, 2);
    EXPECT_EQ(s.RFblanking + s.ArbRefSource + s.MarkerPolarity, 0);
    EXPECT_EQ(InitializeSigGenSettings(30).SamplingRate, 36864000);
    EXPECT_FALSE(checkSigGenSettings(s).has_value());  // the lower-case default title is fine
}

TEST(SigGenSettings, TitleRuleOfThePanel) {
    EXPECT_EQ(applyTitleRule("my wave.1"), "MYWAVE1");
    EXPECT_EQ(applyTitleRule("    "), "BLANK");
    EXPECT_EQ(applyTitleRule("abcdefghijklmnopqrstuvwxy"), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(applyTitleRule("a_$&#+-[]b\xc3\xa9"), "A_$&#+-[]B");
    EXPECT_TRUE(isValidTitle("OneX-Rev"));
    EXPECT_TRUE(isValidTitle("BLANK"));
    EXPECT_TRUE(isValidTitle("ABCDEFGHIJKLMNOPQRST"));
    EXPECT_FALSE(isValidTitle("ABCDEFGHIJKLMNOPQRSTU"));
    EXPECT_FALSE(isValidTitle(""));
    EXPECT_FALSE(isValidTitle("OneX-Rev2"));
    EXPECT_FALSE(isValidTitle("A\"B"));
}

TEST(SigGenSettings, SetFieldRefusesWhatThePanelCouldNotHold) {
    SigGenSettings s = InitializeSigGenSettings(5);
    const auto set = [&](const char* name, const char* text) {
        return setSigGenField(s, *findSigGenField(name), text);
    };
    EXPECT_FALSE(set("Frequency", "1.9e9"));
    EXPECT_EQ(s.Frequency, 1.9e9);
    EXPECT_FALSE(set("Frequency", "100000"));
    auto err = set("Frequency", "4.1e9");
    ASSERT_TRUE(err);
    EXPECT_EQ(*err,
              "SigGen.Frequency: 4100000000 is out of range (expected a number from 100000 to "
              "4000000000)");
    EXPECT_EQ(s.Frequency, 100000);
    EXPECT_TRUE(set("Amplitude", "3.5"));  // whole dBm only
    EXPECT_TRUE(set("Amplitude", "-137"));
    EXPECT_FALSE(set("Amplitude", "-136"));
    EXPECT_TRUE(set("SamplingRate", "5e7"));
    EXPECT_TRUE(set("SamplingRate", "fast"));
    EXPECT_TRUE(set("ReconFilter", "0"));
    EXPECT_TRUE(set("RFblanking", "2"));
    EXPECT_TRUE(set("Title", "my wave"));
    EXPECT_FALSE(set("Title", "MY_WAVE"));
    EXPECT_EQ(s.Title, "MY_WAVE");
    EXPECT_FALSE(s.BBfilter);
    EXPECT_FALSE(set("BBfilter", "3"));
    EXPECT_EQ(s.BBfilter, 3.0);
    EXPECT_TRUE(set("ALC", "2"));
    EXPECT_FALSE(set("Scaling", "-3.5"));
    EXPECT_EQ(formatSigGenField(s, *findSigGenField("Scaling")), "-3.5");
    EXPECT_FALSE(formatSigGenField(s, *findSigGenField("ModAtten")).has_value());
    EXPECT_EQ(findSigGenField("Power"), nullptr);
}

TEST(SigGenSettings, OptionalFieldsGoToTheStructOnlyWhenPresent) {
    SigGenSettings s = InitializeSigGenSettings(5);
    EXPECT_EQ(toArray(s).numFields(), 8u);
    s.ModAtten = 10;
    s.ALC = 1;
    Array a = toArray(s);
    EXPECT_EQ(a.fieldNames().back(), "ALC");
    EXPECT_EQ(a.numFields(), 10u);
    SigGenSettings back;
    fromArray(a, back);
    EXPECT_EQ(back, s);
}
