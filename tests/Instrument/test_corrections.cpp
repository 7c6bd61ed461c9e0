// Correction lookup (identity, serial number, frequency text, file name),
// the two correction filters and the order in which the download command
// applies them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "CorrectionTestSupport.h"
#include "FileTestSupport.h"
#include "Instrument/Corrections.h"
#include "RecordingDriver.h"

using namespace onex;
using namespace onex::testcorr;
using namespace onex::testdriver;
using onex::testfiles::TempDir;

namespace {

constexpr double kSR = 2457600;  // OverSampling 2

CorrectionRecord flat(const FlatRecord& f) {
    CorrectionRecord r;
    r.rev = f.rev;
    r.F = flatPoints();
    r.H.assign(r.F.size(), f.H);
    r.hasRfChannel = f.rev > 1;
    if (r.hasRfChannel) r.rfChannel.assign(r.F.size(), f.rfChannel);
    return r;
}

// Sets or clears an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(CorrectionNames, StrfindptGivesTheFirstOneBasedPosition) {
    EXPECT_EQ(strfindpt("abcabc", "bc"), 2u);
    EXPECT_EQ(strfindpt("abc", "abc"), 1u);
    EXPECT_EQ(strfindpt("abc", "c"), 3u);
    EXPECT_EQ(strfindpt("abc", "abcd"), std::nullopt);
    EXPECT_EQ(strfindpt("abc", "x"), std::nullopt);
    EXPECT_EQ(strfindpt("", ","), std::nullopt);
}

TEST(CorrectionNames, SerialNumberRunsFromUsToTheNextComma) {
    EXPECT_EQ(GetSerialNumber("Tarn Instruments,TARN-SIM,US00000001,1.0.0"), "US00000001");
    EXPECT_EQ(GetSerialNumber("Maker,E4438C,US12345678,C.04.10"), "US12345678");
    // From the first "US", wherever it stands, and case matters.
    EXPECT_EQ(GetSerialNumber("Maker,USB-GEN,US1,1"), "USB-GEN");
    EXPECT_EQ(GetSerialNumber("Maker,model,us123,1"), "");
    EXPECT_EQ(GetSerialNumber("Maker,model,MY4321,1"), "");
    EXPECT_EQ(GetSerialNumber("Maker,model,US4321"), "");  // no comma follows
    EXPECT_EQ(GetSerialNumber("US,rest"), "US");
    EXPECT_EQ(GetSerialNumber(""), "");
}

TEST(CorrectionNames, FrequencyTextRoundsTheTenths) {
    EXPECT_EQ(FormatFreq(1.9e9), "1.9 GHz");
    EXPECT_EQ(FormatFreq(2.0e9), "2.0 GHz");
    EXPECT_EQ(FormatFreq(2.45e9), "2.5 GHz");
    EXPECT_EQ(FormatFreq(0.8e9), "0.8 GHz");
    EXPECT_EQ(FormatFreq(1.96e9), "1.10 GHz");
    EXPECT_EQ(FormatFreq(2.2e9), "2.2 GHz");
    EXPECT_EQ(FormatFreq(3.04e9), "3.0 GHz");
}

TEST(CorrectionNames, FileNameInTheFolder) {
    const std::filesystem::path folder = "/home/u/.local/share/onexrev/corrections";
    EXPECT_EQ(CreateFileName("Maker,E4438C,US12345678,C.04.10", 1.9e9, folder).string(),
              "/home/u/.local/share/onexrev/corrections/US12345678 1.9 GHz.mat");
    // Without a serial number the name starts with the blank.
    EXPECT_EQ(CreateFileName("Maker,E4438C,MY1,C.04.10", 1.9e9, folder).string(),
              "/home/u/.local/share/onexrev/corrections/ 1.9 GHz.mat");
}

TEST(CorrectionNames, FolderIsPerUser) {
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(defaultCorrectionFolder(), "/srv/data/onexrev/corrections");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "relative/data");  // ignored, as the standard says
        ScopedEnv home("HOME", "/home/tester");
        EXPECT_EQ(defaultCorrectionFolder(), "/home/tester/.local/share/onexrev/corrections");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", nullptr);
        ScopedEnv home("HOME", nullptr);  // found in the user database instead
        const auto f = defaultCorrectionFolder();
        EXPECT_TRUE(f.empty() || f.is_absolute()) << f;
        EXPECT_NE(f.string().rfind("/tmp", 0), 0u) << f;
    }
}

TEST(CorrectionLookup, ReadsTheFileOfTheInstrumentAndFrequency) {
    RecordingDriver d;
    TempDir dir;
    writeCorrectionFile(dir / "US12345678 2.5 GHz.mat", {{2, 2.0, 0.5}});
    CorrectionLookup l = GetCorrectionData(2.45e9, lan(), dir.path());
    EXPECT_TRUE(l.ok()) << l.status;
    EXPECT_EQ(l.fileName, dir / "US12345678 2.5 GHz.mat");
    ASSERT_EQ(l.x.size(), 1u);
    EXPECT_EQ(l.x[0].rev, 2);
    EXPECT_EQ(l.noFlatness, 0);
    EXPECT_EQ(d.trace(), std::vector<std::string>{"query *IDN?"});

    // Another frequency: no file, a status text, no records.
    l = GetCorrectionData(1.9e9, lan(), dir.path());
    EXPECT_FALSE(l.ok());
    EXPECT_FALSE(l.status.empty());
    EXPECT_EQ(l.fileName, dir / "US12345678 1.9 GHz.mat");
    EXPECT_TRUE(l.x.empty());
}

TEST(CorrectionLookup, FailuresGiveNoCorrections) {
    TempDir dir;
    writeCorrectionFile(dir / "US12345678 1.9 GHz.mat", {{2, 2.0, 0.5}});
    {
        // Identity query fails: the I/O layer's status, and no file is read.
        RecordingDriver d;
        d.reply = [](const Op&) { return Status{3, "Query \"*IDN?\" timed out"}; };
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), dir.path());
        EXPECT_FALSE(l.ok());
        EXPECT_EQ(l.ioStatus, 3);
        EXPECT_EQ(l.status, "Query \"*IDN?\" timed out");
        EXPECT_TRUE(l.x.empty());
        EXPECT_TRUE(l.fileName.empty());
    }
    {
        // rev 4 is refused even with every field present.
        RecordingDriver d;
        writeCorrectionFile(dir / "US12345678 1.9 GHz.mat", {{4, 2.0, 0.5}});
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), dir.path());
        EXPECT_EQ(l.status, "Invalid data structure.");
        EXPECT_TRUE(l.x.empty());
    }
    {
        // A serial number with a path separator would leave the folder.
        RecordingDriver d;
        d.reply = [](const Op&) { return Status{0, "Maker,model,US/../../x,1"}; };
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), dir.path());
        EXPECT_FALSE(l.ok());
        EXPECT_NE(l.status.find("outside the correction folder"), std::string::npos);
        EXPECT_TRUE(l.fileName.empty());
    }
    {
        // No serial number: the file " 1.9 GHz.mat" belongs to no instrument
        // and is not looked for, even when it exists.
        RecordingDriver d;
        writeCorrectionFile(dir / " 1.9 GHz.mat", {{2, 2.0, 0.5}});
        d.reply = [](const Op&) { return Status{0, "Maker,model\a,,1.0"}; };
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), dir.path());
        EXPECT_FALSE(l.ok());
        EXPECT_EQ(l.status, "no serial number in the identity \"Maker,model\\x07,,1.0\"");
        EXPECT_TRUE(l.fileName.empty());
        EXPECT_TRUE(l.x.empty());
    }
    {
        // A folder every user may write to is not trusted.
        RecordingDriver d;
        writeCorrectionFile(dir / "US12345678 1.9 GHz.mat", {{2, 2.0, 0.5}});
        ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), dir.path());
        EXPECT_FALSE(l.ok());
        EXPECT_NE(l.status.find("every user"), std::string::npos) << l.status;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        EXPECT_TRUE(GetCorrectionData(1.9e9, lan(), dir.path()).ok());
    }
}

TEST(CorrectionLookup, FilesOthersMayChangeAreNotUsed) {
    // The temporary folder is world-writable with the sticky bit: others
    // cannot move what is in it, so a private folder inside it is trusted.
    TempDir dir;
    const auto name = [](const std::filesystem::path& folder) {
        return folder / "US12345678 1.9 GHz.mat";
    };
    const auto makeFolder = [&](const std::string& sub, mode_t mode) {
        const auto folder = dir / sub;
        std::filesystem::create_directories(folder);
        writeCorrectionFile(name(folder), {{2, 2.0, 0.5}});
        EXPECT_EQ(::chmod(folder.c_str(), mode), 0);
        return folder;
    };
    const auto safe = makeFolder("safe", 0755);
    const auto group = makeFolder("group", 0775);
    const auto open = makeFolder("open", 01777);  // sticky, yet anyone may add files
    const auto inOpenParent = makeFolder("open-parent/inner", 0755);
    ASSERT_EQ(::chmod((dir / "open-parent").c_str(), 0777), 0);
    const auto viaLink = makeFolder("via-link", 0755);
    std::filesystem::remove(name(viaLink));
    std::filesystem::create_symlink(name(open), name(viaLink));
    const auto writableFile = makeFolder("writable-file", 0755);
    ASSERT_EQ(::chmod(name(writableFile).c_str(), 0664), 0);

    RecordingDriver d;
    EXPECT_TRUE(GetCorrectionData(1.9e9, lan(), safe).ok());
    const std::pair<std::filesystem::path, std::string> refused[] = {
        {group, "may be written by its group; its files are not used."},
        {open, "may be written by every user; its files are not used."},
        {inOpenParent, "open-parent, which every user may change; its files are not used."},
        {viaLink, "open/US12345678 1.9 GHz.mat) may be written by every user; it is not used."},
        {writableFile, "may be written by its group; it is not used."},
    };
    for (const auto& [folder, reason] : refused) {
        CorrectionLookup l = GetCorrectionData(1.9e9, lan(), folder);
        EXPECT_FALSE(l.ok()) << folder;
        EXPECT_TRUE(l.x.empty());
        EXPECT_NE(l.status.find(reason), std::string::npos) << l.status;
    }
}

TEST(CorrectionFilters, RfChannelCorrectionInvertsTheChannel) {
    const auto s = testWaveform(500);
    for (C rf : {C(0.5, 0), C(0, 0.5), std::polar(0.8, 0.7)}) {
        CorrectionResult r = ApplyRfChannelCorrection(s, flat({2, kNaN, rf}), kSR);
        EXPECT_EQ(r.status, "");
        EXPECT_LT(maxDifference(r.x, expectedCorrection(s, {{2, kNaN, rf}})), 1e-9) << rf;
    }
}

TEST(CorrectionFilters, RfChannelCorrectionNeedsRevTwoAndNoNaN) {
    const auto s = testWaveform(100);
    for (const FlatRecord& f :
         {FlatRecord{1, 2.0, 0.5}, FlatRecord{2, 2.0, kNaN}, FlatRecord{3, 2.0, C(0.5, kNaN)}}) {
        CorrectionResult r = ApplyRfChannelCorrection(s, flat(f), kSR);
        EXPECT_EQ(r.status, "");
        EXPECT_EQ(r.x, s);
    }
}

TEST(CorrectionFilters, IqCorrectionFiltersOnlyTheQuadraturePart) {
    const auto s = testWaveform(500);
    for (C h : {C(2, 0), C(0.5, 0.5), C(1.25, -0.3)}) {
        CorrectionResult r = ApplyIqCorrection(s, flat({1, h, kNaN}), kSR);
        EXPECT_EQ(r.status, "");
        ASSERT_EQ(r.x.size(), s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            ASSERT_EQ(r.x[i].real(), s[i].real()) << i;  // exactly
        EXPECT_LT(maxDifference(r.x, expectedCorrection(s, {{1, h, kNaN}})), 1e-9) << h;
    }
}

TEST(CorrectionFilters, DesignFailuresReturnTheInputWithTheReason) {
    const auto s = testWaveform(100);
    CorrectionRecord bad = flat({2, 2.0, 0.5});
    bad.H.pop_back();
    bad.rfChannel.pop_back();
    CorrectionResult iq = ApplyIqCorrection(s, bad, kSR);
    EXPECT_EQ(iq.x, s);
    EXPECT_EQ(iq.status, "F must be the same size as H");
    CorrectionResult rf = ApplyRfChannelCorrection(s, bad, kSR);
    EXPECT_EQ(rf.x, s);
    EXPECT_EQ(rf.status, "F must be the same size as H");

    // An H with NaN reaches the designer only when called directly.
    CorrectionResult nan = ApplyIqCorrection(s, flat({2, kNaN, 0.5}), kSR);
    EXPECT_EQ(nan.x, s);
    EXPECT_FALSE(nan.status.empty());

    // Too short for 31 circular taps.
    const auto tiny = testWaveform(10);
    CorrectionResult shortWave = ApplyIqCorrection(tiny, flat({1, 2.0, kNaN}), kSR);
    EXPECT_EQ(shortWave.x, tiny);
    EXPECT_FALSE(shortWave.status.empty());
}

TEST(CorrectionOrder, AllRfChannelCorrectionsComeBeforeAllIqCorrections) {
    // The rotation of an RF-channel correction and the Q-only scaling of an
    // I/Q correction do not commute, so the result tells the order.
    const auto s = testWaveform(400);
    const std::vector<FlatRecord> recs = {
        {1, 2.0, kNaN},                   // I/Q only
        {2, kNaN, std::polar(1.0, 0.6)},  // RF only
        {3, 4.0, 0.5},                    // both
        {2, kNaN, kNaN},                  // neither
    };
    std::vector<CorrectionRecord> c;
    for (const auto& f : recs)
        c.push_back(flat(f));
    CorrectedWaveform w = applyCorrections(s, c, 0, kSR);
    EXPECT_EQ(w.rfChannelCorrections, 2);
    EXPECT_EQ(w.iqCorrections, 2);
    EXPECT_TRUE(w.failures.empty());
    EXPECT_LT(maxDifference(w.waveform, expectedCorrection(s, recs)), 1e-9);

    // Record by record (each record's RF then its I/Q) gives another waveform.
    std::vector<C> interleaved = s;
    for (const auto& f : recs)
        interleaved = expectedCorrection(interleaved, {f});
    EXPECT_GT(maxDifference(w.waveform, interleaved), 1e-3);

    // noFlatness set: no RF-channel corrections.
    CorrectedWaveform noRf = applyCorrections(s, c, 1, kSR);
    EXPECT_EQ(noRf.rfChannelCorrections, 0);
    EXPECT_LT(maxDifference(noRf.waveform, expectedCorrection(s, {{1, 2.0, kNaN}, {1, 4.0, kNaN}})),
              1e-9);
}

TEST(CorrectionOrder, FailedCorrectionsAreSkippedAndListed) {
    const auto s = testWaveform(200);
    CorrectionRecord bad = flat({2, 2.0, 0.5});
    bad.F.pop_back();  // mismatched: both designs fail
    std::vector<CorrectionRecord> c = {bad, flat({1, 2.0, kNaN})};
    CorrectedWaveform w = applyCorrections(s, c, 0, kSR);
    EXPECT_EQ(w.rfChannelCorrections, 0);
    EXPECT_EQ(w.iqCorrections, 1);
    EXPECT_EQ(w.failures.size(), 2u);
    EXPECT_LT(maxDifference(w.waveform, expectedCorrection(s, {{1, 2.0, kNaN}})), 1e-9);
}
