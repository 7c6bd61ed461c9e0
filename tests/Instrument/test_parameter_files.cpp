// Parameter files: what is written, what loads back, what is refused and
// that a refusal changes nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>

#include "FileTestSupport.h"
#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "OneX/ParameterFields.h"
#include "OneX/ParametersArray.h"
#include "platform/MatFile.h"

using namespace onex;
using onex::platform::Array;
using onex::platform::MatFormat;
using onex::platform::MatVariables;
using onex::testfiles::TempDir;

namespace {

// octave_params_check.sh points this at files Octave has just written.
const std::string kParams = std::getenv("ONEX_OCTAVE_PARAMS_DIR")
                                ? std::string(std::getenv("ONEX_OCTAVE_PARAMS_DIR")) + "/"
                                : std::string(ONEX_TEST_DATA_DIR) + "/params/";
// Octave's NA: a quiet NaN with its own payload, as Octave prints num2hex(NA).
constexpr std::uint64_t kOctaveNA = 0x7ff840f440000000ULL;

std::uint64_t bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

// A set that differs from the defaults in every field, with a full-length
// user bit stream and a NaN carrying a payload.
Parameters customParameters() {
    Parameters p = InitializeParameters();
    p.RRIactive = 1;
    p.RRIvalue = 7;
    p.DRCactive = 1;
    p.DRCrelGain = -29.75;
    p.ACKactive = 1;
    p.ACKrelGain = 0.1;  // not exact in binary: must come back bit for bit
    p.DATAactive = 1;
    p.DATArelGain = 30;
    p.EncoderActive = 0;
    p.DataRate = 5;
    p.DATASourceType = 7;
    p.DATASourceName = "user data.bin";
    std::mt19937 rng(7);
    p.dataSourceBitstream.resize(8192);
    for (double& b : p.dataSourceBitstream)
        b = static_cast<double>(rng() & 1);
    p.IMask = 4398046511103.0;
    p.QMask = 0x2AAAAAAAAAAULL;
    p.slot.ACKslotValue[3] = 0;
    p.slot.ACKslotActive[15] = 0;
    p.slot.DRCslotActive[16] = 0;
    p.slot.DRCslotValue = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
    p.slot.DRCslotCover = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 4};
    p.OverSampling = 30;
    p.FilterType = 4;
    p.MirrorSpectrum = 1;
    p.ProjectedLength = std::bit_cast<double>(kOctaveNA);
    p.LastPath = "/home/ü/waves/";
    p.IQGainImbalance = -2.5;
    p.QuadratureError = 9.75;
    p.CarrierLeakage = -33.3;
    p.FreqError = -1234.5;
    p.FreqErrorSnap = 0;
    p.CNRatio = 17.1;
    p.NoiseSeed = 4294967295.0;
    return p;
}

SigGenSettings customSettings() {
    SigGenSettings s = InitializeSigGenSettings(30);
    s.Title = "WAVE_1[$&#+-]";
    s.Frequency = 100000;
    s.Amplitude = 20;
    s.SamplingRate = 40000000;
    s.ReconFilter = 1;
    s.RFblanking = 1;
    s.ArbRefSource = 1;
    s.MarkerPolarity = 1;
    s.Scaling = 72.5;
    s.ALC = 0;
    return s;
}

// Writes `fp` as fileParameters (and the default settings) as another tool
// would, without the checks of saveParameters.
std::filesystem::path writeRaw(const TempDir& dir, const Array& fp, const char* name = "raw.mat") {
    auto path = dir / name;
    platform::writeMatFile(
        path, {{"fileParameters", fp}, {"sigGenParameters", toArray(InitializeSigGenSettings(5))}});
    return path;
}

struct State {
    Parameters p = customParameters();
    SigGenSettings s = customSettings();
};

void expectUnchanged(const State& st) {
    State fresh;
    EXPECT_TRUE(compareStruct(st.p, fresh.p));
    EXPECT_EQ(bits(st.p.ProjectedLength), kOctaveNA);
    EXPECT_EQ(st.s, fresh.s);
}

}  // namespace

TEST(AddFileExtention, AppendsOnlyWhenTheExactExtensionIsMissing) {
    EXPECT_EQ(addFileExtention("test", ".mat"), "test.mat");
    EXPECT_EQ(addFileExtention("test.mat", ".mat"), "test.mat");
    EXPECT_EQ(addFileExtention("TEST.MAT", ".mat"), "TEST.MAT.mat");
    EXPECT_EQ(addFileExtention("at", ".mat"), "at.mat");  // shorter than the extension
    EXPECT_EQ(addFileExtention("", ".mat"), ".mat");
    EXPECT_EQ(addFileExtention("/d/x.mat.bak", ".mat"), "/d/x.mat.bak.mat");
}

TEST(ParameterFile, RoundTripRestoresEveryFieldBitForBit) {
    TempDir dir;
    const auto path = dir / "set.mat";
    ASSERT_TRUE(saveParameters(path, customParameters(), customSettings()).ok);

    Parameters p = InitializeParameters();
    SigGenSettings s = InitializeSigGenSettings(5);
    FileResult r = loadParameters(path, p, s);
    ASSERT_TRUE(r.ok) << r.message << " " << r.detail;
    EXPECT_TRUE(compareStruct(p, customParameters()));
    // Plain equality holds for everything but the NaN, whose payload survives.
    Parameters expected = customParameters(), got = p;
    EXPECT_EQ(bits(p.ProjectedLength), kOctaveNA);
    got.ProjectedLength = expected.ProjectedLength = 0;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(bits(p.ACKrelGain), bits(0.1));
    EXPECT_EQ(s, customSettings());

    // Saving what was loaded gives the same variables again.
    const auto again = dir / "again.mat";
    ASSERT_TRUE(saveParameters(again, p, s).ok);
    auto a = platform::readMatFile(path), b = platform::readMatFile(again);
    EXPECT_TRUE(a[0].value == b[0].value);
    EXPECT_TRUE(a[2].value == b[2].value);
}

TEST(ParameterFile, DefaultsRoundTripAndOptionalSettingsStayAbsent) {
    TempDir dir;
    ASSERT_TRUE(
        saveParameters(dir / "d.mat", InitializeParameters(), InitializeSigGenSettings(5)).ok);
    State st;
    ASSERT_TRUE(loadParameters(dir / "d.mat", st.p, st.s).ok);
    EXPECT_EQ(st.p, InitializeParameters());
    EXPECT_EQ(st.s, InitializeSigGenSettings(5));
    EXPECT_FALSE(st.s.BBfilter || st.s.Scaling || st.s.ModAtten || st.s.ALC);
}

TEST(ParameterFile, HoldsThePlatformsNaturalClassesInInitializeParametersOrder) {
    TempDir dir;
    const auto path = dir / "classes.mat";
    ASSERT_TRUE(saveParameters(path, InitializeParameters(), InitializeSigGenSettings(5)).ok);
    MatVariables vars = platform::readMatFile(path);
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[0].name, "fileParameters");
    EXPECT_EQ(vars[1].name, "filename");
    EXPECT_EQ(vars[2].name, "sigGenParameters");
    EXPECT_TRUE(vars[1].value == Array::string(path.string()));

    const Array& fp = vars[0].value;
    ASSERT_TRUE(fp.isStruct());
    EXPECT_EQ(fp.dims(), (Array::Dims{1, 1}));
    std::vector<std::string> top, slot;
    for (const auto& f : parameterFields()) {
        std::string name(f.name);
        if (name.rfind("slot.", 0) == 0) {
            if (slot.empty()) top.push_back("slot");
            slot.push_back(name.substr(5));
        } else {
            top.push_back(name);
        }
    }
    EXPECT_EQ(fp.fieldNames(), top);
    EXPECT_EQ(fp.field("slot").fieldNames(), slot);
    EXPECT_EQ(fp.field("slot").dims(), (Array::Dims{1, 1}));

    EXPECT_TRUE(fp.field("ParameterFileFormat_ID") == Array::string("OneX-Rev - Format 1.1"));
    EXPECT_TRUE(fp.field("IMask") == Array(4398046511103.0));
    EXPECT_TRUE(fp.field("OverSampling") == Array(5.0));
    // '' and [] as the platform writes them: 0x0 char and 0x0 double.
    EXPECT_TRUE(fp.field("DATASourceName").isChar());
    EXPECT_EQ(fp.field("DATASourceName").dims(), (Array::Dims{0, 0}));
    EXPECT_TRUE(fp.field("dataSourceBitstream") == Array());
    EXPECT_TRUE(fp.field("slot").field("DRCslotCover") == Array::row(std::vector<double>(17, 7.0)));

    const Array& sg = vars[2].value;
    EXPECT_EQ(sg.fieldNames(), (std::vector<std::string>{
                                   "Title", "Frequency", "Amplitude", "SamplingRate", "ReconFilter",
                                   "RFblanking", "ArbRefSource", "MarkerPolarity"}));
    EXPECT_TRUE(sg.field("Title") == Array::string("OneX-Rev"));
    EXPECT_TRUE(sg.field("SamplingRate") == Array(6144000.0));
}

TEST(ParameterFile, OctaveWrittenFilesLoad) {
    for (const char* v : {"v6", "v7"}) {
        SCOPED_TRACE(v);
        State st;
        FileResult r = loadParameters(kParams + "octave_default_" + v + ".mat", st.p, st.s);
        ASSERT_TRUE(r.ok) << r.message << " " << r.detail;
        EXPECT_EQ(st.p, InitializeParameters());
        EXPECT_EQ(st.s, InitializeSigGenSettings(5));

        // The values make_octave_params.m gives the custom set.
        r = loadParameters(kParams + "octave_custom_" + v + ".mat", st.p, st.s);
        ASSERT_TRUE(r.ok) << r.message << " " << r.detail;
        const Parameters& p = st.p;
        EXPECT_EQ(p.RRIvalue, 5);
        EXPECT_EQ(p.DRCrelGain, -12.5);
        EXPECT_EQ(p.ACKrelGain, 3.25);
        EXPECT_EQ(p.DATArelGain, -30);
        EXPECT_EQ(p.EncoderActive, 0);
        EXPECT_EQ(p.DataRate, 4);
        EXPECT_EQ(p.DATASourceType, 7);
        EXPECT_EQ(p.DATASourceName, "payload.bin");
        EXPECT_EQ(p.dataSourceBitstream,
                  (std::vector<double>{1, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 1}));
        EXPECT_EQ(p.IMask, 0x123456789ABULL);
        EXPECT_EQ(p.QMask, 0);
        EXPECT_EQ(p.slot.DRCslotValue,
                  (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 9}));
        EXPECT_EQ(p.slot.DRCslotCover,
                  (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 3}));
        EXPECT_EQ(p.slot.DRCslotActive[7], 1);
        EXPECT_EQ(p.slot.DRCslotActive[8], 0);
        EXPECT_EQ(p.OverSampling, 8);
        EXPECT_EQ(p.MirrorSpectrum, 1);
        EXPECT_EQ(bits(p.ProjectedLength), kOctaveNA);
        EXPECT_EQ(p.LastPath, "/home/user/waves/");
        // Written without the impairments: they are off.
        const Parameters defaults = InitializeParameters();
        for (double Parameters::*f :
             {&Parameters::IQGainImbalance, &Parameters::QuadratureError,
              &Parameters::CarrierLeakage, &Parameters::FreqError, &Parameters::FreqErrorSnap,
              &Parameters::CNRatio, &Parameters::NoiseSeed})
            EXPECT_EQ(p.*f, defaults.*f);
        EXPECT_EQ(st.s.Title, "MY_WAVE-2[A]");
        EXPECT_EQ(st.s.Frequency, 1.9e9);
        EXPECT_EQ(st.s.Amplitude, -136);
        EXPECT_EQ(st.s.SamplingRate, 1228800.0 * 8);
        EXPECT_EQ(st.s.ReconFilter, 4);
        EXPECT_EQ(st.s.BBfilter, 3.0);
        EXPECT_EQ(st.s.ALC, 1.0);
        EXPECT_FALSE(st.s.Scaling.has_value());

        // And they go out again bit for bit, NA included.
        TempDir dir;
        Parameters before = st.p;
        ASSERT_TRUE(saveParameters(dir / "x.mat", st.p, st.s).ok);
        State back;
        ASSERT_TRUE(loadParameters(dir / "x.mat", back.p, back.s).ok);
        EXPECT_TRUE(compareStruct(back.p, before));
        EXPECT_EQ(bits(back.p.ProjectedLength), kOctaveNA);
        EXPECT_EQ(back.s, st.s);
    }
}

TEST(ParameterFile, TheContentDecidesNotTheName) {
    TempDir dir;
    for (const char* name : {"set.dat", "set", "set.MAT", "set.txt"}) {
        ASSERT_TRUE(saveParameters(dir / name, customParameters(), customSettings()).ok) << name;
        Parameters p = InitializeParameters();
        SigGenSettings s = InitializeSigGenSettings(5);
        EXPECT_TRUE(loadParameters(dir / name, p, s).ok) << name;
        EXPECT_EQ(p.DATASourceName, "user data.bin");
    }
    // Loading makes no temporary copy anywhere.
    auto before = dir.entries();
    {
        onex::testfiles::ScopedCwd cwd(dir.path());
        State st;
        EXPECT_TRUE(loadParameters("set.dat", st.p, st.s).ok);
    }
    EXPECT_EQ(dir.entries(), before);
}

TEST(ParameterFile, UnreadableFilesAreRefusedWithThePlatformsText) {
    TempDir dir;
    onex::testfiles::writeText(dir / "notes.mat", "just some text, long enough to be no header\n");
    onex::testfiles::writeText(dir / "empty.mat", "");
    std::filesystem::create_directory(dir / "folder.mat");
    struct Case {
        std::string name, fragment;
    } cases[] = {
        {"missing.mat", "No such file"},
        {"notes.mat", "not a MAT-file"},
        {"empty.mat", "not a MAT-file"},
        {"folder.mat", "folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        State st;
        FileResult r = loadParameters(dir / c.name, st.p, st.s);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.title, "Error Loading File");
        EXPECT_NE(r.message.find((dir / c.name).string()), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(c.fragment), std::string::npos) << r.message;
        expectUnchanged(st);
    }
}

TEST(ParameterFile, FormatStructureAndIdentifierRefusalsUseTheExactMessages) {
    TempDir dir;
    Array fp = toArray(InitializeParameters());
    Array noId = fp;
    noId.removeField("ParameterFileFormat_ID");
    Array olderId = fp;
    olderId.setField("ParameterFileFormat_ID", Array::string("OneX-Rev - Format 1.0"));
    Array caseId = fp;
    caseId.setField("ParameterFileFormat_ID", Array::string("onex-rev - format 1.1"));
    Array numericId = fp;
    numericId.setField("ParameterFileFormat_ID", Array(1.1));

    const auto other = dir / "other.mat";
    platform::writeMatFile(other, {{"parameters", fp}});
    struct Case {
        std::filesystem::path path;
        std::string what;
    } cases[] = {
        {other, "has an Invalid File Format."},
        {writeRaw(dir, noId, "noid.mat"), "has an Invalid File Structure."},
        {writeRaw(dir, Array(3.0), "scalar.mat"), "has an Invalid File Structure."},
        {writeRaw(dir, olderId, "older.mat"), "has an Invalid File Parameter ID."},
        {writeRaw(dir, caseId, "case.mat"), "has an Invalid File Parameter ID."},
        {writeRaw(dir, numericId, "numeric.mat"), "has an Invalid File Parameter ID."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        State st;
        FileResult r = loadParameters(c.path, st.p, st.s);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.title, "Error Loading File");
        EXPECT_EQ(r.message, c.path.string() + "\n" + c.what);
        expectUnchanged(st);
    }
}

TEST(ParameterFile, AParameterSetOfTheWrongShapeIsNamedAsSuch) {
    TempDir dir;
    const Array fp = toArray(InitializeParameters());
    Array pair = Array::structArray({1, 2}, fp.fieldNames());
    for (const auto& name : fp.fieldNames()) {
        pair.setField(name, fp.field(name), 0);
        pair.setField(name, fp.field(name), 1);
    }
    const std::pair<Array, std::string> cases[] = {
        {pair, "fileParameters is a 1x2 struct, expected a 1x1 struct"},
        {Array::cellRow({fp}), "fileParameters is a 1x1 cell, expected a 1x1 struct"},
    };
    for (const auto& [value, detail] : cases) {
        const auto path = writeRaw(dir, value, "shape.mat");
        State st;
        FileResult r = loadParameters(path, st.p, st.s);
        EXPECT_EQ(r.message, path.string() + "\nhas an Invalid File Structure.");
        EXPECT_EQ(r.detail, detail);
        expectUnchanged(st);
    }
}

TEST(ParameterFile, EveryMissingFieldIsAnInvalidStructure) {
    TempDir dir;
    const Array full = toArray(InitializeParameters());
    for (const auto& f : parameterFields()) {
        if (f.name == "ParameterFileFormat_ID") continue;  // has its own message
        if (f.name == "IQGainImbalance") break;            // the impairments may be missing
        std::string name(f.name);
        Array fp = full;
        if (name.rfind("slot.", 0) == 0)
            fp.field("slot").removeField(name.substr(5));
        else
            fp.removeField(name);
        auto path = writeRaw(dir, fp);
        State st;
        FileResult r = loadParameters(path, st.p, st.s);
        EXPECT_EQ(r.message, path.string() + "\nhas an Invalid File Structure.") << name;
        EXPECT_NE(r.detail.find(name.rfind("slot.", 0) == 0 ? name.substr(5) : name),
                  std::string::npos)
            << r.detail;
        expectUnchanged(st);
    }
}

TEST(ParameterFile, WrongClassesSizesAndImpossibleValuesAreInvalidStructures) {
    TempDir dir;
    const auto withField = [](const std::string& name, Array value) {
        Array fp = toArray(InitializeParameters());
        if (name.rfind("slot.", 0) == 0)
            fp.field("slot").setField(name.substr(5), std::move(value));
        else
            fp.setField(name, std::move(value));
        return fp;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string field;
        Array value;
    } cases[] = {
        {"OverSampling", Array(1e9)},
        {"OverSampling", Array(nan)},
        {"OverSampling", Array(5.5)},
        {"OverSampling", Array::string("5")},
        {"OverSampling", Array::row({5, 5})},
        {"OverSampling", Array()},
        {"OverSampling", Array::numeric<std::int32_t>({1, 1}, {5})},
        {"OverSampling", Array(std::complex<double>(5, 1))},
        {"OverSampling", Array::logical(true)},
        {"DataRate", Array(9.0)},
        {"DRCrelGain", Array(30.5)},
        {"DRCrelGain", Array(std::numeric_limits<double>::infinity())},
        {"IMask", Array(4398046511104.0)},
        {"RRIactive", Array(2.0)},
        {"slot.DRCslotValue", Array::row(std::vector<double>(20, 1.0))},
        {"slot.DRCslotValue", Array::row(std::vector<double>(16, 1.0))},
        {"slot.DRCslotValue", Array::matrix(17, 1, std::vector<double>(17, 1.0))},
        {"slot.DRCslotCover", Array::row(std::vector<double>(17, 8.0))},
        {"slot.ACKslotValue", Array::row(std::vector<double>(16, nan))},
        {"dataSourceBitstream", Array::row({0, 1, 2})},
        {"dataSourceBitstream", Array::row(std::vector<double>(8193, 1.0))},
        {"dataSourceBitstream", Array::string("0101")},
        {"DATASourceName", Array(1.0)},
        {"DATASourceName", Array::charMatrix({"ab", "cd"})},
        {"slot", Array::row({1, 2})},
        {"ProjectedLength", Array(std::numeric_limits<double>::infinity())},
        // Only the "off" side of the infinities is a value.
        {"CNRatio", Array(-std::numeric_limits<double>::infinity())},
        {"CNRatio", Array(60.5)},
        {"CarrierLeakage", Array(std::numeric_limits<double>::infinity())},
        {"CarrierLeakage", Array(-5.0)},
        {"NoiseSeed", Array(4294967296.0)},
        {"NoiseSeed", Array(1.5)},
        {"FreqError", Array(nan)},
        {"FreqErrorSnap", Array::row({1, 1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        auto path = writeRaw(dir, withField(c.field, c.value));
        State st;
        FileResult r = loadParameters(path, st.p, st.s);
        EXPECT_EQ(r.message, path.string() + "\nhas an Invalid File Structure.");
        EXPECT_EQ(r.title, "Error Loading File");
        EXPECT_NE(r.detail.find("fileParameters."), std::string::npos) << r.detail;
        expectUnchanged(st);
    }
    // A struct array in place of the 1x1 parameter set.
    Array twice = Array::structArray({1, 2}, {"ParameterFileFormat_ID"});
    auto path = writeRaw(dir, twice);
    State st;
    EXPECT_EQ(loadParameters(path, st.p, st.s).message,
              path.string() + "\nhas an Invalid File Structure.");
    // Huge field-less struct arrays are refused at once, as either variable.
    const Array huge = Array::structArray({1u << 31, 1u << 30}, {});
    EXPECT_EQ(parseParameterFile({{"fileParameters", huge}}, "h.mat", "OneX-Rev - Format 1.1")
                  .result.message,
              "h.mat\nhas an Invalid File Structure.");
    EXPECT_EQ(parseParameterFile(
                  {{"fileParameters", toArray(InitializeParameters())}, {"sigGenParameters", huge}},
                  "h.mat", "OneX-Rev - Format 1.1")
                  .result.message,
              "h.mat\nhas an Invalid File Structure.");
}

TEST(ParameterFile, AcceptedVariantsOfOtherTools) {
    TempDir dir;
    // Field order, extra fields and [] for an empty text do not matter; a
    // NaN in ProjectedLength (no window writes it, nothing computes with it)
    // is kept.
    Array fp = toArray(InitializeParameters());
    Array reordered = Array::structure({});
    const auto names = fp.fieldNames();
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        reordered.setField(*it, fp.field(*it));
    reordered.setField("LastPath", Array());
    reordered.setField("ProjectedLength", Array(std::numeric_limits<double>::quiet_NaN()));
    reordered.setField("SomethingNew", Array::string("ignored"));
    reordered.setField("dataSourceBitstream", Array::zeros({1, 0}));
    auto path = writeRaw(dir, reordered);
    State st;
    FileResult r = loadParameters(path, st.p, st.s);
    ASSERT_TRUE(r.ok) << r.detail;
    Parameters expected = InitializeParameters();
    expected.ProjectedLength = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(compareStruct(st.p, expected));
    EXPECT_TRUE(std::isnan(st.p.ProjectedLength));
}

TEST(ParameterFile, SettingsAreTakenOverCheckedOrKept) {
    TempDir dir;
    const Array fp = toArray(InitializeParameters());
    // No sigGenParameters: the parameter set loads, the settings stay.
    auto noSettings = dir / "nosettings.mat";
    platform::writeMatFile(noSettings, {{"fileParameters", fp}});
    State st;
    ASSERT_TRUE(loadParameters(noSettings, st.p, st.s).ok);
    EXPECT_EQ(st.p, InitializeParameters());
    EXPECT_EQ(st.s, customSettings());

    const auto settingsWith = [](const std::string& name, Array value) {
        Array s = toArray(InitializeSigGenSettings(5));
        s.setField(name, std::move(value));
        return s;
    };
    Array noTitle = toArray(InitializeSigGenSettings(5));
    noTitle.removeField("Title");
    const Array bad[] = {
        settingsWith("Frequency", Array(5e9)),
        settingsWith("Amplitude", Array(-12.5)),
        settingsWith("SamplingRate", Array(0.5)),
        settingsWith("ReconFilter", Array(5.0)),
        settingsWith("MarkerPolarity", Array(2.0)),
        settingsWith("Title", Array::string("my wave")),
        settingsWith("Title", Array::string("")),
        settingsWith("Title", Array::string("ABCDEFGHIJKLMNOPQRSTU")),  // 21
        settingsWith("Title", Array::string("A\"; :OUTP OFF")),
        settingsWith("BBfilter", Array(4.0)),
        settingsWith("Scaling", Array(std::numeric_limits<double>::quiet_NaN())),
        noTitle,
        Array::string("settings"),
    };
    for (const Array& s : bad) {
        auto path = dir / "badsettings.mat";
        platform::writeMatFile(path, {{"fileParameters", fp}, {"sigGenParameters", s}});
        State st2;
        FileResult r = loadParameters(path, st2.p, st2.s);
        EXPECT_EQ(r.message, path.string() + "\nhas an Invalid File Structure.");
        EXPECT_NE(r.detail.find("sigGenParameters"), std::string::npos) << r.detail;
        expectUnchanged(st2);
    }
}

TEST(ParameterFile, SavingRefusesASetItCouldNotLoadAndKeepsTheOldFile) {
    TempDir dir;
    const auto path = dir / "keep.mat";
    ASSERT_TRUE(saveParameters(path, customParameters(), customSettings()).ok);
    const auto original = onex::testfiles::readBytes(path);

    Parameters bad = InitializeParameters();
    bad.OverSampling = 31;
    FileResult r = saveParameters(path, bad, customSettings());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, "Error Saving " + path.string());
    EXPECT_NE(r.message.find("OverSampling"), std::string::npos) << r.message;
    SigGenSettings badSettings = customSettings();
    badSettings.Title = "lower";
    EXPECT_FALSE(saveParameters(path, customParameters(), badSettings).ok);

    // Unwritable targets.
    r = saveParameters(dir / "no such folder" / "x.mat", customParameters(), customSettings());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, "Error Saving " + (dir / "no such folder" / "x.mat").string());
    EXPECT_NE(r.message.find("Unable to write file"), std::string::npos) << r.message;
    std::filesystem::create_directory(dir / "folder.mat");
    EXPECT_FALSE(saveParameters(dir / "folder.mat", customParameters(), customSettings()).ok);

    EXPECT_EQ(onex::testfiles::readBytes(path), original);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder.mat", "keep.mat"}));
}

TEST(ParameterFile, AWriteThatFailsHalfWayLeavesThePreviousFile) {
    TempDir dir;
    const auto path = dir / "old.mat";
    ASSERT_TRUE(saveParameters(path, InitializeParameters(), InitializeSigGenSettings(5)).ok);
    const auto original = onex::testfiles::readBytes(path);

    // A file-size limit far below the new file (8192 bits) makes the write
    // fail part-way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small{4096, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    FileResult r = saveParameters(path, customParameters(), customSettings());
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, "Error Saving " + path.string());
    EXPECT_EQ(onex::testfiles::readBytes(path), original);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"old.mat"});  // no temporary left
}

TEST(CompareStruct, FollowsTheParameterSetRule) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(compareStruct(Array::row({1, nan, 3}), Array::row({1, nan, 3})));
    EXPECT_FALSE(compareStruct(Array::row({1, nan, 3}), Array::row({1, 3, nan})));
    EXPECT_FALSE(compareStruct(Array::row({1, nan}), Array::row({1, 2})));
    EXPECT_FALSE(compareStruct(Array::row({1, 2}), Array::matrix(2, 1, std::vector<double>{1, 2})));
    EXPECT_TRUE(compareStruct(Array(), Array::string("")));  // two empties
    EXPECT_FALSE(compareStruct(Array(), Array(0.0)));
    EXPECT_FALSE(compareStruct(Array::string("1"), Array(49.0)));  // text vs number
    EXPECT_TRUE(compareStruct(Array::string("ab"), Array::string("ab")));
    EXPECT_FALSE(compareStruct(Array::string("ab"), Array::string("aB")));
    EXPECT_TRUE(compareStruct(Array::structure({{"a", Array(1.0)}, {"b", Array(nan)}}),
                              Array::structure({{"a", Array(1.0)}, {"b", Array(nan)}})));
    EXPECT_FALSE(compareStruct(Array::structure({{"a", Array(1.0)}, {"b", Array(2.0)}}),
                               Array::structure({{"b", Array(2.0)}, {"a", Array(1.0)}})));
    EXPECT_FALSE(compareStruct(Array::structure({{"a", Array(1.0)}}),
                               Array::structure({{"a", Array(1.0)}, {"b", Array(2.0)}})));

    Parameters a = InitializeParameters(), b = InitializeParameters();
    a.DRCrelGain = b.DRCrelGain = nan;
    EXPECT_TRUE(compareStruct(a, b));
    b.slot.DRCslotValue[16] = 14;
    EXPECT_FALSE(compareStruct(a, b));
}
