// Correction-data files: record checks by revision, arrays of records and
// the status texts.
#include <gtest/gtest.h>

#include <limits>

#include "FileTestSupport.h"
#include "Instrument/CorrectionFile.h"
#include "Instrument/CorrectionTestSupport.h"
#include "platform/MatFile.h"

using namespace onex;
using onex::platform::Array;
using onex::testfiles::TempDir;
using C = std::complex<double>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Array record(double rev) {
    return testcorr::sampleRecord(rev);
}

CorrectionData load(const TempDir& dir, const Array& x, const char* name = "TarnIqCorrectionData") {
    auto path = dir / "US12345678 1.9 GHz.mat";
    platform::writeMatFile(path, {{name, x}});
    return LoadTarnIqCorrectionData(path);
}

}  // namespace

TEST(CorrectionFile, ReadsRecordsOfEachRevision) {
    TempDir dir;
    for (double rev : {1.0, 2.0, 3.0}) {
        CorrectionData d = load(dir, record(rev));
        ASSERT_EQ(d.status, "") << rev;
        ASSERT_EQ(d.records.size(), 1u);
        const CorrectionRecord& r = d.records[0];
        EXPECT_EQ(r.rev, rev);
        EXPECT_EQ(r.F, (std::vector<double>{-1e6, 0, 1e6}));
        EXPECT_EQ(r.H[1], C(0.9, 0.1));
        EXPECT_EQ(r.hasRfChannel, rev > 1);
        if (rev > 1) {
            ASSERT_EQ(r.rfChannel.size(), 3u);
            EXPECT_TRUE(std::isnan(r.rfChannel[2].real()));
        }
        EXPECT_TRUE(r.record == record(rev));
        EXPECT_TRUE(d.x == record(rev));
    }
    // rev 1 with an rfChannel of any kind: carried, never used.
    Array r1 = record(1);
    r1.setField("rfChannel", Array::string("n/a"));
    CorrectionData d = load(dir, r1);
    EXPECT_EQ(d.status, "");
    EXPECT_FALSE(d.records.at(0).hasRfChannel);
    // H = NaN (no I/Q correction) is a valid record.
    Array noH = record(2);
    noH.setField("H", Array(kNaN));
    EXPECT_EQ(load(dir, noH).status, "");
}

TEST(CorrectionFile, EachRecordOfAnArrayIsChecked) {
    TempDir dir;
    Array two = Array::structArray({1, 2}, record(3).fieldNames());
    for (std::size_t e = 0; e < 2; ++e)
        for (const auto& name : two.fieldNames())
            two.setField(name, record(3).field(name), e);
    two.setField("rev", Array(2.0), 1);
    CorrectionData d = load(dir, two);
    ASSERT_EQ(d.status, "");
    ASSERT_EQ(d.records.size(), 2u);
    EXPECT_EQ(d.records[0].rev, 3);
    EXPECT_EQ(d.records[1].rev, 2);

    two.setField("rev", Array(4.0), 1);
    d = load(dir, two);
    EXPECT_EQ(d.status, "Invalid data structure.");
    EXPECT_TRUE(d.records.empty());
    EXPECT_TRUE(d.x == two);  // returned as read

    EXPECT_EQ(load(dir, Array::structArray({0, 0}, record(1).fieldNames())).status,
              "Invalid data structure.");
    // A field-less struct array may claim any number of elements; it is
    // refused without building one record per element.
    EXPECT_EQ(parseCorrectionData(
                  {{"TarnIqCorrectionData", Array::structArray({1u << 31, 1u << 30}, {})}})
                  .status,
              "Invalid data structure.");
}

TEST(CorrectionFile, RefusalsCarryTheirStatusTexts) {
    TempDir dir;
    const auto without = [](double rev, const char* field) {
        Array r = record(rev);
        r.removeField(field);
        return r;
    };
    const auto with = [](double rev, const char* field, Array v) {
        Array r = record(rev);
        r.setField(field, std::move(v));
        return r;
    };
    const Array invalid[] = {
        with(4, "rev", Array(4.0)),  // every field there, unknown revision
        with(3, "rev", Array(0.0)),
        with(3, "rev", Array::string("3")),
        with(3, "rev", Array::row({3, 3})),
        with(3, "rev", Array(kNaN)),
        without(3, "image"),
        without(3, "t1"),
        without(3, "rfChannel"),
        without(2, "rfChannel"),
        without(1, "pwr"),
        without(1, "ID"),
        without(1, "F"),
        with(1, "F", Array::string("1e6")),
        with(1, "F", Array::complexRow(std::vector<C>{{1, 1}})),
        with(1, "H", Array::matrix(2, 2, std::vector<double>{1, 2, 3, 4})),
        with(2, "rfChannel", Array::structure({})),
        Array::row({1, 2, 3}),
        Array::cellRow({record(1)}),
    };
    for (const Array& x : invalid) {
        CorrectionData d = load(dir, x);
        EXPECT_EQ(d.status, "Invalid data structure.");
        EXPECT_TRUE(d.records.empty());
    }
    // rev 3 of an integer class is still revision 3.
    EXPECT_EQ(load(dir, with(3, "rev", Array::numeric<std::uint8_t>({1, 1}, {3}))).status, "");

    // No such variable: the record checks fail on the empty value.
    EXPECT_EQ(load(dir, record(1), "otherName").status, "Invalid data structure.");

    // A MAT-file without variables, and files that are none.
    platform::writeMatFile(dir / "empty.mat", {});
    EXPECT_EQ(LoadTarnIqCorrectionData(dir / "empty.mat").status, "File empty or not found.");
    CorrectionData missing = LoadTarnIqCorrectionData(dir / "C:\\Temp\\ 1.9 GHz.mat");
    EXPECT_NE(missing.status.find("No such file"), std::string::npos) << missing.status;
    onex::testfiles::writeText(dir / "text.mat", "rev=3\n");
    EXPECT_NE(LoadTarnIqCorrectionData(dir / "text.mat").status.find("not a MAT-file"),
              std::string::npos);
}
