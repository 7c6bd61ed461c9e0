#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "OneX/DataSources.h"
#include "OneX/TestBits.h"
#include "platform/Error.h"

using namespace onex;
using onex::test::bits;

TEST(GenerateBitStream, PatternsAndPnSources) {
    EXPECT_EQ(GenerateBitStream(1, 4), bits("0000"));
    EXPECT_EQ(GenerateBitStream(2, 4), bits("1111"));
    EXPECT_EQ(GenerateBitStream(3, 5), bits("01010"));
    EXPECT_EQ(GenerateBitStream(4, 5), bits("10101"));
    EXPECT_EQ(GenerateBitStream(5, 20), bits("11111111100000111101"));
    EXPECT_EQ(GenerateBitStream(6, 20), bits("00000000000000011111"));
    EXPECT_EQ(GenerateBitStream(7, 7, bits("101")), bits("1011011"));
    EXPECT_EQ(GenerateBitStream(8, 2, bits("101")), bits("10"));
    EXPECT_TRUE(GenerateBitStream(9, 10).empty());
    EXPECT_TRUE(GenerateBitStream(2.5, 10).empty());
    EXPECT_EQ(GenerateBitStream(6, 8192).size(), 8192u);
    EXPECT_THROW(GenerateBitStream(7, 10), Error);  // no user bits to stretch
    EXPECT_THROW(GenerateBitStream(1, -1), Error);
}

TEST(PNgenerator, DefaultsClampsAndOptions) {
    // PN9 period with the default length 2^9 - 1: every non-zero state once.
    const std::vector<double> pn9 = PNgenerator();
    ASSERT_EQ(pn9.size(), 511u);
    EXPECT_EQ(std::count(pn9.begin(), pn9.end(), 1.0), 256);
    EXPECT_EQ(PNgenerator(9, 20), GenerateBitStream(5, 20));

    // Register length clamped to 3..31; a fractional one takes the n = 9 entry.
    EXPECT_EQ(PNgenerator(2, 10), PNgenerator(3, 10));
    EXPECT_EQ(PNgenerator(40, 40), PNgenerator(31, 40));
    EXPECT_EQ(PNgenerator(9.5, 30), PNgenerator(9, 30));
    EXPECT_EQ(PNgenerator(9.5).size(), 511u);
    // n = 3: s(i) = s(i-3) xor s(i-1) from three ones.
    EXPECT_EQ(PNgenerator(3), bits("1110100"));

    // Length raised to at least 1.
    EXPECT_EQ(PNgenerator(9, 0), bits("1"));
    EXPECT_EQ(PNgenerator(9, 4), bits("1111"));

    // User inversion flips the table's inversion; values other than 1 count as 0.
    EXPECT_EQ(PNgenerator(15, 20, 1), bits("11111111111111100000"));
    EXPECT_EQ(PNgenerator(15, 20, 2), GenerateBitStream(6, 20));

    // Explicit seed fills the register.
    EXPECT_EQ(PNgenerator(3, 7, 0, bits("100")), bits("1001110"));
    EXPECT_THROW(PNgenerator(3, 7, 0, bits("10")), Error);
}

TEST(PNgenerator, ZeroSuppressionLimitsRunsOfZeros) {
    // With the seed of twenty zeros the raw sequence is all zeros; suppression
    // must set every 15th bit of each zero run.
    const std::vector<double> seq = PNgenerator(20, 100, 0, std::vector<double>(20, 0.0), 1);
    ASSERT_EQ(seq.size(), 100u);
    int run = 0, longest = 0;
    for (double b : seq) {
        run = b == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_EQ(longest, 14);
    EXPECT_EQ(seq[14], 1);

    // Suppression is only for n = 20.
    const std::vector<double> plain = PNgenerator(19, 100, 0, std::vector<double>(19, 0.0), 1);
    EXPECT_EQ(plain, std::vector<double>(100, 0.0));
}

TEST(ExtendVector, RepeatsAndCuts) {
    EXPECT_EQ(ExtendVector(bits("101"), 7), bits("1011011"));
    EXPECT_EQ(ExtendVector(bits("101"), 2), bits("10"));
    EXPECT_EQ(ExtendVector(bits("101"), 6), bits("101101"));
    EXPECT_THROW(ExtendVector(std::vector<double>{}, 0), Error);
    EXPECT_THROW(ExtendVector(std::vector<double>{}, 8192), Error);
}

class UserDataFileTest : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() /
            ("onex_userdata_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

TEST_F(UserDataFileTest, BitOrderOfOneByte) {
    const auto path = write("one.bin", {0x01});
    const UserDataFile right = LoadUserDataFile(path, 8192);
    EXPECT_EQ(right.status, 1);
    EXPECT_EQ(right.bits, bits("10000000"));
    EXPECT_EQ(LoadUserDataFile(path, 8192, "left-msb").bits, bits("00000001"));
    EXPECT_EQ(LoadUserDataFile(path, 8192, "rightwards").bits, bits("10000000"));
}

TEST_F(UserDataFileTest, LengthLimits) {
    std::vector<unsigned char> small(100, 0xA5);
    const UserDataFile all = LoadUserDataFile(write("small.bin", small), 8192);
    EXPECT_EQ(all.bits.size(), 800u);
    EXPECT_EQ(std::vector<double>(all.bits.begin(), all.bits.begin() + 8), bits("10100101"));

    std::vector<unsigned char> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i < 1024);
    const UserDataFile cut = LoadUserDataFile(write("big.bin", big), 8192);
    ASSERT_EQ(cut.bits.size(), 8192u);
    EXPECT_EQ(std::count(cut.bits.begin(), cut.bits.end(), 1.0), 1024);  // first 1024 bytes

    // A limit that is not a whole number of bytes keeps whole bits.
    EXPECT_EQ(LoadUserDataFile(write("two.bin", {0xFF, 0xFF}), 10.5).bits.size(), 10u);
    // The default limit is 0 bits.
    EXPECT_TRUE(LoadUserDataFile(write("z.bin", {0xFF})).bits.empty());

    const UserDataFile empty = LoadUserDataFile(write("empty.bin", {}), 8192);
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.bits.empty());
}

TEST_F(UserDataFileTest, MissingFileOrFolderGivesMinusOne) {
    const UserDataFile missing = LoadUserDataFile(dir / "nope.bin", 8192);
    EXPECT_EQ(missing.status, -1);
    EXPECT_TRUE(missing.bits.empty());
    EXPECT_EQ(missing.message, "Could not open\n" + (dir / "nope.bin").string());
    EXPECT_EQ(LoadUserDataFile(dir, 8192).status, -1);
}

TEST(BitVector, FormsAndErrors) {
    EXPECT_EQ(bitVector(1, 4), bits("1000"));
    EXPECT_EQ(bitVector(1, 4, "left-msb"), bits("0001"));
    EXPECT_EQ(bitVector(6), bits("011"));
    EXPECT_EQ(bitVector(8), bits("0001"));  // significant bits beat ceil(log2(8)) = 3
    EXPECT_EQ(bitVector(0, 3), bits("000"));
    EXPECT_TRUE(bitVector(0).empty());
    EXPECT_EQ(bitVector(5, 2.9), bits("101"));

    const double big = 0x24B91BFD3A8;
    const std::vector<double> v = bitVector(big, 42);
    ASSERT_EQ(v.size(), 42u);
    double back = 0;
    for (std::size_t i = 42; i-- > 0;)
        back = 2 * back + v[i];
    EXPECT_EQ(back, big);

    try {
        bitVector(2.5, 4);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Integer required");
    }
    EXPECT_THROW(bitVector(std::nan("")), Error);
    EXPECT_THROW(bitVector(-3), Error);

    const std::vector<BitVectorArgument> none;
    const std::vector<BitVectorArgument> four{1.0, 4.0, std::string("left-msb"), 1.0};
    for (const auto& args : {none, four}) {
        try {
            bitVector(args);
            FAIL();
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Incorrect number of parameters.");
        }
    }
    const std::vector<BitVectorArgument> three{1.0, 4.0, std::string("left-msb")};
    EXPECT_EQ(bitVector(three), bits("0001"));
}

TEST(De2bi, LeastSignificantFirst) {
    EXPECT_EQ(de2bi(0), bits("0"));
    EXPECT_EQ(de2bi(6), bits("011"));
    EXPECT_EQ(de2bi(0x24B91BFD3A8).size(), 42u);
    EXPECT_THROW(de2bi(-1), Error);
    EXPECT_THROW(de2bi(1.5), Error);
}
