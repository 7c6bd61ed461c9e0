// Files written by GNU Octave (tests/data/mat/make_octave_files.m) read with
// the values, classes and sizes the script gave them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>

#include "platform/MatFile.h"

using onex::platform::Array;
using onex::platform::ArrayClass;
using onex::platform::MatFormat;
using onex::platform::readMatFile;
using onex::platform::writeMatFile;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
// octave_roundtrip.sh points this at files Octave has just written.
const std::string kDir = std::getenv("ONEX_OCTAVE_MAT_DIR")
                             ? std::string(std::getenv("ONEX_OCTAVE_MAT_DIR")) + "/"
                             : std::string(ONEX_TEST_DATA_DIR) + "/mat/";

std::map<std::string, Array> load(const std::string& name) {
    std::map<std::string, Array> out;
    for (auto& v : readMatFile(kDir + name))
        out.emplace(v.name, std::move(v.value));
    return out;
}

class OctaveFile : public ::testing::TestWithParam<const char*> {};

TEST_P(OctaveFile, ValuesClassesAndSizesAreAsSaved) {
    ASSERT_EQ(onex::platform::matFileFormat(kDir + GetParam()), MatFormat::V7);
    auto v = load(GetParam());
    ASSERT_EQ(v.size(), 16u);

    // d = [1.5 -2 0; 4 5.25 -6], stored column by column.
    EXPECT_TRUE(v["d"] == Array::matrix(2, 3, std::vector<double>{1.5, 4, -2, 5.25, 0, -6}));
    EXPECT_TRUE(v["z"] ==
                Array::complexRow(std::vector<std::complex<double>>{{1, 2}, {-3.5, -0.5}, {0, 1}}));
    EXPECT_TRUE(v["s"] == Array::string("OneX-Rev - Format 1.1"));

    // [] and '' are 0x0; zeros(1, 0) stays 1x0.
    EXPECT_TRUE(v["e"] == Array());
    EXPECT_TRUE(v["es"].isChar());
    EXPECT_EQ(v["es"].dims(), (Array::Dims{0, 0}));
    EXPECT_TRUE(v["er"] == Array::zeros({1, 0}));

    const auto sp = v["sp"].toDoubleVector();
    ASSERT_EQ(sp.size(), 5u);
    EXPECT_TRUE(std::isnan(sp[0]));
    EXPECT_EQ(sp[1], kInf);
    EXPECT_EQ(sp[2], -kInf);
    EXPECT_TRUE(sp[3] == 0 && std::signbit(sp[3]));
    EXPECT_EQ(sp[4], 1e-300);

    EXPECT_TRUE(v["lg"] == Array::logicalArray({1, 3}, {true, false, true}));
    EXPECT_TRUE(v["i8"] == Array::numeric<std::int8_t>({1, 3}, {-128, 0, 127}));
    EXPECT_TRUE(v["u16"] == Array::numeric<std::uint16_t>({1, 2}, {0, 65535}));
    // -9007199254740993 (2^53 + 1) is not a double: the class kept it exact.
    EXPECT_TRUE(v["i64"] == Array::numeric<std::int64_t>({1, 2}, {-9007199254740993LL, 5}));
    EXPECT_TRUE(v["sg"] == Array::numeric<float>({1, 2}, {1.5f, -0.25f}));
    EXPECT_EQ(v["cm"].toStrings(), (std::vector<std::string>{"ab ", "cde"}));

    const Array& st = v["st"];
    ASSERT_TRUE(st.isStruct());
    EXPECT_EQ(st.fieldNames(),
              (std::vector<std::string>{"zeta", "alpha", "emptyField", "emptyText"}));
    EXPECT_EQ(st.field("zeta").scalar(), 1.0);
    EXPECT_EQ(st.field("alpha").fieldNames(), (std::vector<std::string>{"deep", "n"}));
    EXPECT_EQ(st.field("alpha").field("deep").toString(), "inner");
    EXPECT_TRUE(st.field("alpha").field("n") == Array::row({1, 2, 3}));
    EXPECT_TRUE(st.field("emptyField") == Array());
    EXPECT_TRUE(st.field("emptyText").isChar() && st.field("emptyText").isEmpty());

    const Array& c = v["c"];
    ASSERT_TRUE(c.isCell());
    ASSERT_EQ(c.dims(), (Array::Dims{1, 4}));
    EXPECT_EQ(c.cell(0).scalar(), 1.0);
    EXPECT_EQ(c.cell(1).toString(), "two");
    EXPECT_TRUE(c.cell(2).isCell() && c.cell(2).isEmpty());
    EXPECT_TRUE(c.cell(3) == Array::matrix(2, 2, std::vector<double>{1, 3, 2, 4}));

    const Array& sa = v["sa"];
    ASSERT_TRUE(sa.isStruct());
    EXPECT_EQ(sa.dims(), (Array::Dims{1, 2}));
    EXPECT_EQ(sa.field("rev", 1).scalar(), 2.0);
}

INSTANTIATE_TEST_SUITE_P(Versions, OctaveFile, ::testing::Values("octave_v6.mat", "octave_v7.mat"));

TEST(OctaveFile, Version4TextAndMatrix) {
    ASSERT_EQ(onex::platform::matFileFormat(kDir + "octave_v4.mat"), MatFormat::V4);
    auto v = load("octave_v4.mat");
    EXPECT_TRUE(v["x4"] == Array::matrix(2, 2, std::vector<double>{1, 3, 2, 4}));
    // Version 4 keeps text as numbers with a text flag; it comes back as char.
    EXPECT_TRUE(v["t4"] == Array::string("abc"));
}

// The set octave_roundtrip.sh loads in Octave (the expected values are
// spelled out again in octave_check_export.m), written in every format and
// read back here unchanged. The files go to ONEX_MAT_EXPORT_DIR when the
// script sets it, else to a folder of the test's own.
TEST(OctaveFile, ExportForOctave) {
    std::filesystem::path dir;
    std::optional<std::filesystem::path> own;
    if (const char* given = std::getenv("ONEX_MAT_EXPORT_DIR")) {
        dir = given;
    } else {
        char tmpl[] = "/tmp/onex-octave-export-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        own = dir;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Array st = Array::structure({
        {"zeta", Array(1.0)},
        {"alpha", Array::structure({{"deep", Array::string("inner")}})},
        {"emptyField", Array()},
        {"emptyText", Array::string("")},
    });
    const onex::platform::MatVariables vars{
        {"d", Array::matrix(2, 3, std::vector<double>{1.5, 4, -2, 5.25, 0, -6})},
        {"z", Array::complexRow(std::vector<std::complex<double>>{{1, 2}, {-3.5, -0.5}})},
        {"s", Array::string("OneX-Rev - Format 1.1")},
        {"e", Array()},
        {"es", Array::string("")},
        {"er", Array::zeros({1, 0})},
        {"sp", Array::row({nan, kInf, -kInf})},
        {"lg", Array::logicalArray({1, 3}, {true, false, true})},
        {"i8", Array::numeric<std::int8_t>({1, 2}, {-128, 127})},
        {"cm", Array::charMatrix({"ab", "cde"})},
        {"st", st},
        {"c", Array::cellRow(
                  {Array(1.0), Array::string("two"), Array::zeros({0, 0}, ArrayClass::Cell)})},
    };
    for (const auto& [file, format] :
         {std::pair{"ours_v6.mat", MatFormat::V6}, std::pair{"ours_v7.mat", MatFormat::V7},
          std::pair{"ours_v73.mat", MatFormat::V73}}) {
        SCOPED_TRACE(file);
        writeMatFile(dir / file, vars, format);
        // Version 7.3 files list their variables by name.
        std::map<std::string, Array> back;
        for (auto& v : readMatFile(dir / file))
            back.emplace(v.name, std::move(v.value));
        ASSERT_EQ(back.size(), vars.size());
        for (const auto& v : vars)
            EXPECT_TRUE(back.contains(v.name) && back.at(v.name) == v.value) << v.name;
    }
    if (own) std::filesystem::remove_all(*own);
}

}  // namespace
