// Every routine through its mlx gateway with its declared counts, checked
// against values worked out by hand from the routines' definitions.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "lib/LibTest.h"

using namespace libtest;
namespace fs = std::filesystem;

namespace {

class Routines : public LibTest {};

std::vector<double> ramp(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<double>(i + 1);
    return v;
}

// Bits of a whole number, least significant first.
std::vector<double> lsbFirst(std::uint64_t v, int n) {
    std::vector<double> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<double>((v >> i) & 1));
    return out;
}

std::vector<std::uint8_t> fileBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<double> head(const mxArray* a, std::size_t n) {
    std::vector<double> v = values(a);
    v.resize(std::min(n, v.size()));
    return v;
}

fs::path tempFile(const std::string& name) {
    return fs::temp_directory_path() / ("onex_lib_" + std::to_string(::getpid()) + "_" + name);
}

TEST_F(Routines, DataSources) {
    Owned five = num(5), six = num(6), three = num(3), four = num(4), twenty = num(20);
    Call c = callMlx(mlxGenerateBitStream, 1, {five.get(), twenty.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), bits("111111111 00000 1111 0 1"));
    EXPECT_EQ(mxGetM(c[0]), 1u);
    c = callMlx(mlxGenerateBitStream, 1, {six.get(), twenty.get()});
    EXPECT_EQ(values(c[0]), bits("000000000000000 11111"));
    c = callMlx(mlxGenerateBitStream, 1, {three.get(), five.get()});
    EXPECT_EQ(values(c[0]), bits("01010"));
    Owned seven = num(7), pattern = row({1, 0, 1});
    c = callMlx(mlxGenerateBitStream, 1, {seven.get(), five.get(), pattern.get()});
    EXPECT_EQ(values(c[0]), bits("10110"));

    // PNgenerator with no inputs: PN9 of 2^9 - 1 bits from nine ones; a
    // non-scalar n counts as absent.
    c = callMlx(mlxPNgenerator, 1, {});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetN(c[0]), 511u);
    EXPECT_EQ(head(c[0], 10), bits("1111111110"));
    Owned empty(mxCreateDoubleMatrix(0, 0, mxREAL));
    c = callMlx(mlxPNgenerator, 1, {empty.get(), twenty.get()});
    EXPECT_EQ(values(c[0]), bits("111111111 00000 1111 0 1"));

    Owned seven7 = num(7), two = num(2);
    c = callMlx(mlxExtendVector, 1, {pattern.get(), seven7.get()});
    EXPECT_EQ(values(c[0]), bits("1011011"));
    c = callMlx(mlxExtendVector, 1, {pattern.get(), two.get()});
    EXPECT_EQ(values(c[0]), bits("10"));

    Owned one = num(1), leftMsb = str("left-msb"), twoAndHalf = num(2.5);
    c = callMlx(mlxbitVector, 1, {one.get(), four.get()});
    EXPECT_EQ(values(c[0]), bits("1000"));
    c = callMlx(mlxbitVector, 1, {one.get(), four.get(), leftMsb.get()});
    EXPECT_EQ(values(c[0]), bits("0001"));
    c = callMlx(mlxbitVector, 1, {six.get()});
    EXPECT_EQ(values(c[0]), bits("011"));
    c = callMlx(mlxbitVector, 1, {twoAndHalf.get(), four.get()});
    EXPECT_EQ(c.error, "Integer required");
    c = callMlx(mlxbitVector, 1, {});
    EXPECT_EQ(c.error, "Incorrect number of parameters.");
}

TEST_F(Routines, UserDataFilesAreReadFromTheNamedFile) {
    const fs::path file = tempFile("one_byte.bin");
    std::ofstream(file, std::ios::binary).put('\x01');
    Owned max = num(8192), name = str(file.c_str()), left = str("left-msb");
    Call c = callMlx(mlxLoadUserDataFile, 2, {max.get(), nullptr, name.get()});
    // A NULL inside mlx inputs is refused; the host passes the default text.
    EXPECT_FALSE(c.ok);
    Owned right = str("right-msb");
    c = callMlx(mlxLoadUserDataFile, 2, {max.get(), right.get(), name.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 1);
    EXPECT_EQ(values(c[1]), bits("10000000"));
    c = callMlx(mlxLoadUserDataFile, 2, {max.get(), left.get(), name.get()});
    EXPECT_EQ(values(c[1]), bits("00000001"));
    // mlf: bitorder not given takes its default.
    mxArray* b = nullptr;
    Owned status(mlfLoadUserDataFile(&b, max.get(), nullptr, name.get()));
    ASSERT_NE(status, nullptr) << OneX_Rev_b_libLastError();
    Owned bo(b);
    EXPECT_EQ(values(b), bits("10000000"));

    Owned missing = str((file.string() + ".missing").c_str());
    testing::internal::CaptureStderr();
    c = callMlx(mlxLoadUserDataFile, 2, {max.get(), right.get(), missing.get()});
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), -1);
    EXPECT_TRUE(mxIsEmpty(c[1]));
    EXPECT_NE(printed.find("File Error: Could not open"), std::string::npos) << printed;

    c = callMlx(mlxLoadUserDataFile, 2, {max.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("no file-open dialog"), std::string::npos) << c.error;
    fs::remove(file);
}

TEST_F(Routines, PacketAndTurboEncoder) {
    // "123456789", most significant bit of each byte first: FCS 31C3.
    std::vector<double> ascii;
    for (char ch : std::string("123456789"))
        for (int b = 7; b >= 0; --b)
            ascii.push_back((ch >> b) & 1);
    Owned a = row(ascii);
    Call c = callMlx(mlxOneX_PhysicalLayerFCS, 1, {a.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), bits("0011 0001 1100 0011"));

    Owned payload = row(std::vector<double>(234, 0)), odd = row(std::vector<double>(235, 0));
    c = callMlx(mlxOneX_RevTrfPhysicalLayerPacket, 1, {payload.get()});
    EXPECT_EQ(values(c[0]), std::vector<double>(256, 0));
    c = callMlx(mlxOneX_RevTrfPhysicalLayerPacket, 1, {odd.get()});
    EXPECT_TRUE(mxIsEmpty(c[0]));

    Owned one = row({1});
    c = callMlx(mlxOneX_ConstituentEncoder, 3, {one.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), bits("1011"));
    EXPECT_EQ(values(c[1]), bits("1101"));
    EXPECT_EQ(values(c[2]), bits("1111"));

    // Rate 1/2 over one data bit: x(1), y0(1), then the tails of both
    // encoders as (x, y0) pairs: 2 + 12 symbols.
    Owned half = num(0.5);
    Call p = callMlx(mlxOneX_TurboPuncturing, 1, {c[0], c[1], c[2], c[0], c[1], c[2], half.get()});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(values(p[0]), bits("11 011011 011011"));

    // The turbo interleaver on 250 bits starts with input 2 and is a
    // permutation.
    Owned r250 = row(ramp(250));
    c = callMlx(mlxOneX_TurboInterleaver, 1, {r250.get()});
    ASSERT_TRUE(c.ok) << c.error;
    auto perm = values(c[0]);
    EXPECT_EQ(perm[0], 2);
    std::sort(perm.begin(), perm.end());
    EXPECT_EQ(perm, ramp(250));

    Owned quarter = num(0.25), z250 = row(std::vector<double>(250, 0));
    c = callMlx(mlxOneX_TurboCoder, 1, {z250.get(), quarter.get()});
    EXPECT_EQ(mxGetN(c[0]), 4u * 250 + 24);

    Owned packet = row(std::vector<double>(4096, 0)), rate5 = num(5);
    c = callMlx(mlxOneX_RevEncoder, 1, {packet.get(), rate5.get()});
    EXPECT_EQ(values(c[0]), std::vector<double>(8192, 0));
}

TEST_F(Routines, SequenceOperations) {
    Owned r8 = row({0, 1, 2, 3, 4, 5, 6, 7});
    Call c = callMlx(mlxOneX_RevChnInterleaver, 1, {r8.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), (std::vector<double>{0, 4, 2, 6, 1, 5, 3, 7}));

    Owned r = row({1, 0, 1}), two = num(2);
    c = callMlx(mlxOneX_Repeat, 1, {r.get(), two.get()});
    EXPECT_EQ(values(c[0]), bits("101101"));

    // Element by element, keeping the input's size.
    Owned m(mxCreateDoubleMatrix(2, 2, mxREAL));
    const double in[] = {0, 1, 1, 0};
    std::copy(in, in + 4, mxGetPr(m.get()));
    c = callMlx(mlxOneX_SignalMap, 1, {m.get()});
    EXPECT_EQ(values(c[0]), (std::vector<double>{1, -1, -1, 1}));
    EXPECT_EQ(mxGetM(c[0]), 2u);

    Owned n1 = num(1), n6 = num(6), five = num(5);
    c = callMlx(mlxReverseBits, 1, {n1.get(), five.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 16);
    c = callMlx(mlxReverseBits, 1, {n6.get(), five.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 12);
}

TEST_F(Routines, OverheadChannels) {
    Owned twelve = num(12), four = num(4);
    Call c = callMlx(mlxOneX_WalshMatrix, 1, {twelve.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetM(c[0]), 8u);
    EXPECT_EQ(mxGetN(c[0]), 8u);
    c = callMlx(mlxOneX_WalshMatrix, 1, {four.get()});
    // Column-major: row 3 is (+ + - -), row 2 is (+ - + -).
    const auto w = values(c[0]);
    EXPECT_EQ((std::vector<double>{w[2], w[6], w[10], w[14]}), (std::vector<double>{1, 1, -1, -1}));
    EXPECT_EQ((std::vector<double>{w[1], w[5], w[9], w[13]}), (std::vector<double>{1, -1, 1, -1}));

    Owned pm = row({1, -1});
    c = callMlx(mlxOneX_WalshCover, 1, {pm.get(), pm.get()});
    EXPECT_EQ(values(c[0]), (std::vector<double>{1, -1, -1, 1}));
    Owned j = complexRow({{0, 1}});
    c = callMlx(mlxOneX_WalshCover, 1, {j.get(), pm.get()});
    ASSERT_TRUE(mxIsComplex(c[0]));
    EXPECT_EQ(complexValues(c[0]), (std::vector<std::complex<double>>{{0, 1}, {0, -1}}));

    Owned v5 = num(5), on = num(1);
    c = callMlx(mlxOneX_RevRRIencoder, 1, {v5.get()});
    EXPECT_EQ(values(c[0]), bits("1011010"));
    c = callMlx(mlxOneX_RevRRIchn, 1, {on.get(), v5.get()});
    ASSERT_EQ(mxGetM(c[0]), 16u);
    const auto rri = values(c[0]);
    const auto slot = [&](std::size_t k) {  // row k (0-based) of the 16 x 16 array
        std::vector<double> out;
        for (std::size_t col = 0; col < 16; ++col)
            out.push_back(rri[col * 16 + k]);
        return out;
    };
    EXPECT_EQ(slot(0), bits("1011010101101010"));
    EXPECT_EQ(slot(1), bits("1101010110101011"));
    EXPECT_EQ(slot(15), bits("1101010110101011"));

    Owned v3 = num(3), zero = num(0), one = num(1);
    c = callMlx(mlxOneX_RevDrcChn, 1, {v3.get(), zero.get()});
    ASSERT_EQ(mxGetN(c[0]), 128u);
    const auto drc = values(c[0]);
    for (std::size_t i = 0; i < 128; ++i)
        EXPECT_EQ(drc[i], (i / 8) % 2 == 0 ? -1 : 1) << i;
    c = callMlx(mlxOneX_RevDrcChn, 1, {v3.get(), one.get()});
    EXPECT_EQ(head(c[0], 8), (std::vector<double>{-1, 1, -1, 1, -1, 1, -1, 1}));
}

TEST_F(Routines, CodesAndSpreading) {
    Owned len = num(32768), init = row(lsbFirst(0x24B91BFD3A8ull, 42));
    Owned full = num(4398046511103.0), m1 = num(1), m2 = num(2);
    Call c = callMlx(mlxOneX_RevLongCode, 2, {len.get(), init.get(), full.get(), full.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(head(c[0], 32), bits("10001110100010001111000100100001"));
    EXPECT_EQ(values(c[0]), values(c[1]));
    c = callMlx(mlxOneX_RevLongCode, 2, {len.get(), init.get(), m1.get(), m2.get()});
    EXPECT_EQ(head(c[0], 8), bits("01001001"));
    EXPECT_EQ(head(c[1], 8), bits("01101101"));

    Owned reps = num(1);
    c = callMlx(mlxOneX_RevShortCode, 2, {reps.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const auto i = values(c[0]), q = values(c[1]);
    EXPECT_EQ(std::vector<double>(i.begin(), i.begin() + 32),
              bits("10101001001110100011011110011001"));
    EXPECT_EQ(std::vector<double>(q.begin(), q.begin() + 32),
              bits("10011110101110101101001110001010"));
    EXPECT_EQ(std::count(i.begin(), i.end(), 1.0), 16384);
    EXPECT_EQ(std::vector<double>(i.end() - 15, i.end()), std::vector<double>(15, 0));

    Owned order = num(15), taps = row(bits("1000010111000101")), five = num(5);
    Owned seed = row(bits("000000000000001"));
    c = callMlx(mlxlfsr, 1, {order.get(), taps.get(), five.get(), seed.get()});
    EXPECT_EQ(values(c[0]), bits("000000000000001"));

    Owned col = column({1, 2, 3, 4, 5}), count = num(2.5), back = num(-4);
    c = callMlx(mlxCircularShiftLeft, 1, {col.get(), count.get()});
    EXPECT_EQ(values(c[0]), (std::vector<double>{4, 5, 1, 2, 3}));
    EXPECT_EQ(mxGetN(c[0]), 1u);
    c = callMlx(mlxCircularShiftLeft, 1, {col.get(), back.get()});
    EXPECT_EQ(values(c[0]), ramp(5));

    Owned ones = complexRow(std::vector<std::complex<double>>(32768, {1, 0}));
    c = callMlx(mlxOneX_RevQuadSpreading, 1, {ones.get(), full.get(), full.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const auto s = complexValues(c[0]);
    const std::vector<std::complex<double>> first8 = {{1, 1}, {1, -1}, {-1, -1}, {1, -1},
                                                      {1, 1}, {-1, 1}, {-1, -1}, {-1, 1}};
    EXPECT_EQ(std::vector<std::complex<double>>(s.begin(), s.begin() + 8), first8);
}

TEST_F(Routines, OversamplingAndFiltering) {
    Owned r = row({1, 2, 3}), three = num(3), two = num(2), col = column({1, 2});
    Call c = callMlx(mlxupsample, 1, {r.get(), three.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), (std::vector<double>{1, 0, 0, 2, 0, 0, 3, 0, 0}));
    c = callMlx(mlxupsample, 1, {col.get(), two.get()});
    EXPECT_EQ(values(c[0]), (std::vector<double>{1, 0, 2, 0}));
    EXPECT_EQ(mxGetN(c[0]), 1u);

    Owned m = row({1, 0, 1});
    c = callMlx(mlxupsampleMarker, 1, {m.get(), two.get()});
    EXPECT_EQ(values(c[0]), bits("110011"));

    Owned stuffed = complexRow({{2, 1}, {0, 0}, {0, 0}, {-1, 0}, {0, 0}, {0, 0}});
    Owned rect = num(1), none = num(4), evm = str("IS95-EVM");
    c = callMlx(mlxOneX_BasebandFilter, 1, {stuffed.get(), three.get(), rect.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(complexValues(c[0]), (std::vector<std::complex<double>>{
                                       {2, 1}, {2, 1}, {2, 1}, {-1, 0}, {-1, 0}, {-1, 0}}));
    c = callMlx(mlxOneX_BasebandFilter, 1, {stuffed.get(), three.get(), none.get()});
    EXPECT_EQ(complexValues(c[0]), complexValues(stuffed.get()));
    c = callMlx(mlxOneX_BasebandFilter, 1, {stuffed.get(), three.get(), evm.get()});
    EXPECT_EQ(complexValues(c[0]), complexValues(stuffed.get()));

    Owned five = num(5);
    c = callMlx(mlxFilterCoeff_IS95_Std, 1, {five.get()});
    ASSERT_EQ(mxGetN(c[0]), 60u);
    const auto h = values(c[0]);
    for (std::size_t k = 0; k < 30; ++k)
        EXPECT_NEAR(h[k], h[59 - k], 1e-12);
    c = callMlx(mlxFilterCoeff_IS95_Acp, 1, {five.get()});
    EXPECT_EQ(mxGetN(c[0]), 130u);

    // An impulse at sample 1 returns the taps centred on it and wrapped.
    Owned impulse = row({1, 0, 0, 0, 0}), taps = row({1, 2, 3});
    c = callMlx(mlxcircfilt, 1, {impulse.get(), taps.get()});
    EXPECT_EQ(values(c[0]), (std::vector<double>{2, 3, 0, 0, 1}));
}

TEST_F(Routines, FirDesign) {
    // The report's fields come with three outputs (see the conventions
    // test); here the routine's other forms.
    Owned order = num(23), ff = row({0, 0.48, 0.6, 1}), aa = row({1, 1, 0, 0});
    Owned w = row({1, 10}), grid(mxCreateCellMatrix(1, 1)), type = str("");
    mxSetCell(grid.get(), 0, mxCreateDoubleScalar(32));
    Call plain = callMlx(mlxremez2, 2, {order.get(), ff.get(), aa.get()});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(mxGetN(plain[0]), 24u);
    Call weighted = callMlx(mlxremez2, 2, {order.get(), ff.get(), aa.get(), w.get(), type.get()});
    ASSERT_TRUE(weighted.ok) << weighted.error;
    EXPECT_NE(values(weighted[0]), values(plain[0]));
    Call gridded = callMlx(mlxremez2, 1, {order.get(), ff.get(), aa.get(), grid.get()});
    ASSERT_TRUE(gridded.ok) << gridded.error;
    // A response function named in a cell, with its amplitudes. (An even
    // order: a named response always reads as a non-zero gain at Nyquist,
    // which would raise an odd order by one.)
    Owned named(mxCreateCellMatrix(1, 2)), even = num(22);
    mxSetCell(named.get(), 0, mxCreateString("remezfrf"));
    mxSetCell(named.get(), 1, mxDuplicateArray(aa.get()));
    Call byName = callMlx(mlxremez2, 1, {even.get(), ff.get(), named.get()});
    ASSERT_TRUE(byName.ok) << byName.error;
    Call byAmplitudes = callMlx(mlxremez2, 1, {even.get(), ff.get(), aa.get()});
    EXPECT_EQ(values(byName[0]), values(byAmplitudes[0]));
    EXPECT_EQ(mxGetN(byName[0]), 23u);
    Owned m = str("m");
    Call refused = callMlx(mlxremez2, 1, {order.get(), ff.get(), aa.get(), m.get()});
    EXPECT_EQ(refused.error, "M-file version of REMEZ is no longer supported.");
    Owned zeroW = row({1, 0});
    refused = callMlx(mlxremez2, 1, {order.get(), ff.get(), aa.get(), zeroW.get()});
    EXPECT_EQ(refused.error, "All weights must be greater than zero.");

    Owned defaults = str("defaults"), x = num(1);
    Call c = callMlx(mlxremezfrf, 1, {defaults.get(), x.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(text(c[0]), "even");
    Owned N = num(10), F = row({0, 0.4, 0.5, 1}), GF = row({0, 0.2, 0.4, 0.5, 1});
    Owned W = row({1, 20}), zero = num(0);
    c = callMlx(mlxremezfrf, 2, {N.get(), F.get(), GF.get(), W.get(), aa.get(), zero.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(values(c[0]), (std::vector<double>{1, 1, 1, 0, 0}));
    EXPECT_EQ(values(c[1]), (std::vector<double>{1, 1, 1, 20, 20}));

    Owned n5 = num(5), a = row({1, 1, 0, 1});
    c = callMlx(mlxfirchk, 3, {n5.get(), a.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 6);
    EXPECT_EQ(text(c[1]), "");
    EXPECT_EQ(text(c[2]).rfind("Odd order symmetric FIR filters must have a gain of zero", 0), 0u);
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    c = callMlx(mlxfirchk, 3, {s.get(), a.get()});
    EXPECT_EQ(text(c[1]), "Filter order must be a real, positive integer.");

    // A flat response gives a filter that passes the signal: centre tap
    // near 1, the others near 0.
    std::vector<double> freqs;
    for (int k = -5; k <= 5; ++k)
        freqs.push_back(k * 1e6);
    Owned n30 = num(30), Fh = row(freqs), H = complexRow(std::vector<std::complex<double>>(11, 1));
    Owned sr = num(20e6);
    c = callMlx(mlxcreateRealFIR, 1, {n30.get(), Fh.get(), H.get(), sr.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const auto taps = complexValues(c[0]);
    ASSERT_EQ(taps.size(), 31u);
    EXPECT_NEAR(std::abs(taps[15]), 1, 0.05);
    for (std::size_t k = 0; k < 31; ++k)
        if (k != 15) {
            EXPECT_LT(std::abs(taps[k]), 0.05) << k;
        }
    c = callMlx(mlxcreateRealFIR, 1, {n30.get(), Fh.get(), H.get()});
    EXPECT_EQ(c.error, "You must have 4 inputs to createRealFIR.");

    Owned n4 = num(4), n1 = num(1), n3 = num(3);
    c = callMlx(mlxfreq2fir, 1, {n4.get(), Fh.get(), H.get(), sr.get()});
    EXPECT_EQ(c.error, "N must be an odd integer");
    c = callMlx(mlxfreq2fir, 1, {n1.get(), Fh.get(), H.get(), sr.get()});
    EXPECT_EQ(c.error, "N must be greater than 1.");
    c = callMlx(mlxfreq2fir, 1, {n3.get(), Fh.get(), H.get(), sr.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetN(c[0]), 3u);
    c = callMlx(mlxfreq2fir, 1, {n3.get()});
    EXPECT_EQ(c.error, "You must have 4 inputs.");
}

TEST_F(Routines, FrameBuilderAtTheDefaults) {
    // Every channel off; masks 3FFFFFFFFFF; oversampling 5; ACP filter.
    std::vector<Owned> keep;
    const auto add = [&](Owned a) {
        keep.push_back(std::move(a));
        return keep.back().get();
    };
    const auto zero = [&] { return add(num(0)); };
    const auto inputs = [&](double mirror) -> std::vector<const mxArray*> {
        return {zero(),
                zero(),
                zero(),
                zero(),
                add(row(std::vector<double>(16, 1))),
                add(row(std::vector<double>(16, 1))),
                zero(),
                zero(),
                add(row(std::vector<double>(17, 1))),
                add(row(std::vector<double>(17, 15))),
                add(row(std::vector<double>(17, 7))),
                zero(),
                zero(),
                add(row(std::vector<double>(256, 0))),
                add(num(1)),
                add(num(1)),
                add(num(4398046511103.0)),
                add(num(4398046511103.0)),
                add(num(5)),
                add(num(3)),
                add(num(mirror))};
    };
    const auto call = [&](double mirror) {
        const auto in = inputs(mirror);
        std::vector<mxArray*> raw;
        for (const mxArray* a : in)
            raw.push_back(const_cast<mxArray*>(a));
        Call c;
        mxArray* out[2] = {nullptr, nullptr};
        c.ok = mlxOneX_RevTrfChn(2, out, 21, raw.data());
        c.out.emplace_back(out[0]);
        c.out.emplace_back(out[1]);
        return c;
    };
    Call c = call(0);
    ASSERT_TRUE(c.ok) << OneX_Rev_b_libLastError();
    EXPECT_EQ(mxGetM(c[0]), 1u);
    EXPECT_EQ(mxGetN(c[0]), 5u * 32768);
    EXPECT_TRUE(mxIsComplex(c[0]));
    ASSERT_EQ(mxGetM(c[1]), 2u);
    ASSERT_EQ(mxGetN(c[1]), 5u * 32768);
    // Row 1: a one-chip pulse at each of the 32 half-slot starts, held for 5
    // samples; row 2 (ACK) all zero with the ACK channel off.
    const auto ev = values(c[1]);
    std::size_t ones1 = 0, ones2 = 0;
    for (std::size_t k = 0; k < ev.size(); k += 2) {
        ones1 += ev[k] == 1;
        ones2 += ev[k + 1] == 1;
    }
    EXPECT_EQ(ones1, 32u * 5);
    EXPECT_EQ(ones2, 0u);
    for (std::size_t s = 0; s < 5; ++s) {
        EXPECT_EQ(ev[2 * (1024 * 5 + s)], 1);  // second half-slot
    }

    // Mirroring 1 returns the conjugate of what mirroring 0 returns.
    Call m = call(1);
    ASSERT_TRUE(m.ok);
    const auto a = complexValues(c[0]), b = complexValues(m[0]);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); k += 997)
        EXPECT_EQ(a[k], std::conj(b[k])) << k;
}

TEST_F(Routines, InstrumentLayerWithoutAnInstrument) {
    const char* top[] = {"type", "GPIB", "RS232"};
    Owned cfg(mxCreateStructMatrix(1, 1, 3, top));
    mxSetField(cfg.get(), 0, "type", mxCreateString("gpib"));
    const char* gpib[] = {"board", "primary", "secondary"};
    mxArray* g = mxCreateStructMatrix(1, 1, 3, gpib);
    mxSetField(g, 0, "board", mxCreateDoubleScalar(0));
    mxSetField(g, 0, "primary", mxCreateDoubleScalar(19.5));
    mxSetField(g, 0, "secondary", mxCreateDoubleScalar(-1));
    mxSetField(cfg.get(), 0, "GPIB", g);
    const char* rs[] = {"baudrate", "handshake"};
    mxArray* r = mxCreateStructMatrix(1, 1, 2, rs);
    mxSetField(r, 0, "baudrate", mxCreateDoubleScalar(1e12));
    mxSetField(r, 0, "handshake", mxCreateString("Xon/Xoff"));
    mxSetField(cfg.get(), 0, "RS232", r);

    Call c = callMlx(mlxformatconfig, 1, {cfg.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const mxArray* out = c[0];
    EXPECT_EQ(mxGetField(out, 0, "TCPIP"), nullptr);  // absent stays absent
    const mxArray* primary = mxGetField(mxGetField(out, 0, "GPIB"), 0, "primary");
    EXPECT_STREQ(mxGetClassName(primary), "int32");
    EXPECT_EQ(mxGetScalar(primary), 20);  // halves away from zero
    EXPECT_EQ(mxGetScalar(mxGetField(mxGetField(out, 0, "GPIB"), 0, "secondary")), -1);
    EXPECT_EQ(mxGetScalar(mxGetField(mxGetField(out, 0, "RS232"), 0, "baudrate")), 2147483647);
    EXPECT_EQ(text(mxGetField(mxGetField(out, 0, "RS232"), 0, "handshake")), "Xon/Xoff");
    EXPECT_EQ(text(mxGetField(out, 0, "type")), "gpib");
    // The input is not changed.
    EXPECT_TRUE(mxIsDouble(mxGetField(mxGetField(cfg.get(), 0, "GPIB"), 0, "primary")));

    // applyDacRes: the peak lands on 8191 steps of 14 bits.
    Owned wave = complexRow({{0.5, 0}, {0.1, -0.3}}), bits14 = num(14), bits2 = num(2);
    c = callMlx(mlxapplyDacRes, 1, {wave.get(), bits14.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const double step = 0.5 / 8191;
    for (const auto& v : complexValues(c[0])) {
        EXPECT_NEAR(v.real() / step, std::round(v.real() / step), 1e-6);
        EXPECT_NEAR(v.imag() / step, std::round(v.imag() / step), 1e-6);
    }
    EXPECT_EQ(complexValues(c[0])[0], std::complex<double>(0.5, 0));
    c = callMlx(mlxapplyDacRes, 1, {wave.get(), bits2.get()});
    EXPECT_EQ(complexValues(c[0]), complexValues(wave.get()));
}

// A revision-1 correction record with a flat I/Q response.
Owned flatRecord(double rev) {
    const char* names[] = {"rev", "F", "H", "ID", "date", "fltr", "modAttn", "cf", "bw", "pwr"};
    Owned r(mxCreateStructMatrix(1, 1, 10, names));
    mxSetField(r.get(), 0, "rev", mxCreateDoubleScalar(rev));
    std::vector<double> f;
    for (int k = -5; k <= 5; ++k)
        f.push_back(k * 1e6);
    mxSetField(r.get(), 0, "F", row(f).release());
    mxSetField(r.get(), 0, "H", complexRow(std::vector<std::complex<double>>(11, 1)).release());
    for (const char* n : {"ID", "date", "fltr", "modAttn", "cf", "bw", "pwr"})
        mxSetField(r.get(), 0, n, mxCreateDoubleScalar(0));
    return r;
}

TEST_F(Routines, Corrections) {
    std::vector<std::complex<double>> wave;
    for (int k = 0; k < 256; ++k)
        wave.emplace_back(std::cos(0.1 * k), std::sin(0.37 * k));
    Owned s = complexRow(wave), rec = flatRecord(1), sr = num(20e6);
    Call c = callMlx(mlxApplyIqCorrection, 2, {s.get(), rec.get(), sr.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(text(c[1]), "");
    const auto x = complexValues(c[0]);
    ASSERT_EQ(x.size(), wave.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        EXPECT_EQ(x[k].real(), wave[k].real()) << k;          // exactly
        EXPECT_NEAR(x[k].imag(), wave[k].imag(), 0.05) << k;  // flat: nearly unchanged
    }
    // Revision 1 carries no RF-channel response: unchanged, no failure.
    c = callMlx(mlxApplyRfChannelCorrection, 2, {s.get(), rec.get(), sr.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(complexValues(c[0]), wave);
    EXPECT_EQ(text(c[1]), "");
    // A record of an unknown revision: unchanged, with the reason.
    Owned bad = flatRecord(4);
    c = callMlx(mlxApplyIqCorrection, 2, {s.get(), bad.get(), sr.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(complexValues(c[0]), wave);
    EXPECT_EQ(text(c[1]), "Invalid data structure.");

    Owned missing = str("/nonexistent-onex/US1 1.9 GHz.mat");
    c = callMlx(mlxLoadTarnIqCorrectionData, 2, {missing.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(mxIsEmpty(c[0]));
    EXPECT_FALSE(text(c[1]).empty());
}

TEST_F(Routines, HalberdWaveformFile) {
    const fs::path file = tempFile("halberd.bin");
    Owned v = complexRow({{0.5, 0.25}}), name = str(file.c_str());
    Call c = callMlx(mlxsaveHalberdWaveform, 1, {v.get(), name.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 1);
    EXPECT_EQ(fileBytes(file), (std::vector<std::uint8_t>{0x7F, 0xFE, 0x3F, 0xFF}));
    Owned equal = complexRow({{0.5, -0.5}});
    c = callMlx(mlxsaveHalberdWaveform, 1, {equal.get(), name.get()});
    EXPECT_EQ(fileBytes(file), (std::vector<std::uint8_t>{0x00, 0x01, 0xFF, 0xFF}));
    fs::remove(file);
    // No argument: nothing written, success 0.
    c = callMlx(mlxsaveHalberdWaveform, 1, {});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 0);
}

TEST_F(Routines, ParameterFiles) {
    Owned test = str("test"), ext = str(".mat"), upper = str("TEST.MAT"), done = str("test.mat");
    Call c = callMlx(mlxaddFileExtention, 1, {test.get(), ext.get()});
    EXPECT_EQ(text(c[0]), "test.mat");
    c = callMlx(mlxaddFileExtention, 1, {done.get(), ext.get()});
    EXPECT_EQ(text(c[0]), "test.mat");
    c = callMlx(mlxaddFileExtention, 1, {upper.get(), ext.get()});
    EXPECT_EQ(text(c[0]), "TEST.MAT.mat");

    // A parameter file written by another tool, read, written back and read
    // again.
    Owned source = str(ONEX_TEST_DATA_DIR "/params/octave_default_v6.mat");
    c = callMlx(mlxloadParameters, 3, {source.get()});
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(mxGetScalar(c[0]), 1);
    const mxArray* p = c[1];
    ASSERT_TRUE(mxIsStruct(p));
    EXPECT_EQ(text(mxGetField(p, 0, "ParameterFileFormat_ID")), "OneX-Rev - Format 1.1");
    EXPECT_EQ(mxGetScalar(mxGetField(p, 0, "OverSampling")), 5);
    EXPECT_EQ(mxGetScalar(mxGetField(p, 0, "IMask")), 4398046511103.0);
    ASSERT_TRUE(mxIsStruct(c[2]));
    ASSERT_NE(mxGetField(c[2], 0, "Frequency"), nullptr);

    Owned changed(mxDuplicateArray(p));
    mxSetField(changed.get(), 0, "DRCactive", mxCreateDoubleScalar(1));
    const fs::path file = tempFile("params.mat");
    Owned name = str(file.c_str());
    Call saved = callMlx(mlxsaveParameters, 0, {name.get(), changed.get(), c[2]});
    ASSERT_TRUE(saved.ok) << saved.error;
    Call back = callMlx(mlxloadParameters, 3, {name.get(), num(0).get()});
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(mxGetScalar(back[0]), 1);
    EXPECT_EQ(mxGetScalar(mxGetField(back[1], 0, "DRCactive")), 1);
    EXPECT_EQ(values(mxGetField(mxGetField(back[1], 0, "slot"), 0, "DRCslotValue")),
              std::vector<double>(17, 15));
    EXPECT_EQ(text(mxGetField(back[2], 0, "Title")), text(mxGetField(c[2], 0, "Title")));

    // A file that is no parameter file: success 0 and the dialog's text on
    // stderr.
    std::ofstream(file) << "not a MAT-file";
    testing::internal::CaptureStderr();
    back = callMlx(mlxloadParameters, 3, {name.get()});
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(mxGetScalar(back[0]), 0);
    EXPECT_TRUE(mxIsEmpty(back[1]));
    EXPECT_NE(printed.find("Error Loading File"), std::string::npos) << printed;

    // A set the windows could not hold is not written; the call fails.
    mxSetField(changed.get(), 0, "OverSampling", mxCreateDoubleScalar(1e9));
    saved = callMlx(mlxsaveParameters, 0, {name.get(), changed.get(), c[2]});
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.error.find("OverSampling"), std::string::npos) << saved.error;
    fs::remove(file);
}

TEST_F(Routines, ConfigurationFileInTheWorkingFolder) {
    const fs::path dir = tempFile("config_dir");
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);

    Call c = callMlx(mlxloadConfig, 1, {});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(mxIsEmpty(c[0]));

    const char* top[] = {"type", "TCPIP", "LastParameterFilename"};
    Owned cfg(mxCreateStructMatrix(1, 1, 3, top));
    mxSetField(cfg.get(), 0, "type", mxCreateString("TCPIP"));
    const char* lan[] = {"address", "board"};
    mxArray* t = mxCreateStructMatrix(1, 1, 2, lan);
    mxSetField(t, 0, "address", mxCreateString("192.168.0.7"));
    mxSetField(t, 0, "board", mxCreateDoubleScalar(0));
    mxSetField(cfg.get(), 0, "TCPIP", t);
    mxSetField(cfg.get(), 0, "LastParameterFilename", mxCreateString("/tmp/x.mat"));
    EXPECT_TRUE(mlfsaveConfig(cfg.get())) << OneX_Rev_b_libLastError();
    EXPECT_TRUE(fs::exists(dir / "rfIOConfig.mat"));

    Owned loaded(mlfloadConfig());
    ASSERT_NE(loaded, nullptr) << OneX_Rev_b_libLastError();
    EXPECT_EQ(text(mxGetField(loaded.get(), 0, "type")), "TCPIP");
    EXPECT_EQ(text(mxGetField(mxGetField(loaded.get(), 0, "TCPIP"), 0, "address")), "192.168.0.7");
    EXPECT_EQ(text(mxGetField(loaded.get(), 0, "LastParameterFilename")), "");

    // An unwritable folder is reported, not ignored.
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const bool canStillWrite = ::access(dir.c_str(), W_OK) == 0;  // root writes anyway
    if (!canStillWrite) {
        fs::remove(dir / "rfIOConfig.mat");
        EXPECT_FALSE(mlfsaveConfig(cfg.get()));
        EXPECT_NE(std::string(OneX_Rev_b_libLastError()).find("rfIOConfig.mat"), std::string::npos);
    }
    fs::permissions(dir, fs::perms::owner_all);
    fs::current_path(before);
    fs::remove_all(dir);
}

// The measurements of a parameter set's frame as one structure: keyed
// figures as rows beside their keys, NaN where the sample rate cannot reach
// an offset.
TEST_F(Routines, MeasureFrame) {
    Owned source = str(ONEX_TEST_DATA_DIR "/params/octave_default_v6.mat");
    Call loaded = callMlx(mlxloadParameters, 3, {source.get()});
    ASSERT_TRUE(loaded.ok) << loaded.error;
    Owned p(mxDuplicateArray(loaded[1]));
    mxSetField(p.get(), 0, "DRCactive", mxCreateDoubleScalar(1));
    mxSetField(p.get(), 0, "DRCrelGain", mxCreateDoubleScalar(-4));
    mxSetField(p.get(), 0, "OverSampling", mxCreateDoubleScalar(2));

    Call c = callMlx(mlxmeasureFrame, 1, {p.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const mxArray* m = c[0];
    const char* fields[] = {"sample_rate",    "samples",      "average_power", "peak_power",
                            "papr_db",        "ccdf_percent", "ccdf_db",       "obw_hz",
                            "acpr_offset_hz", "acpr_dbc",     "rho",           "channels"};
    ASSERT_EQ(mxGetNumberOfFields(m), static_cast<int>(std::size(fields)));
    for (int f = 0; f < mxGetNumberOfFields(m); ++f)
        EXPECT_STREQ(mxGetFieldNameByNumber(m, f), fields[f]);
    EXPECT_EQ(mxGetScalar(mxGetField(m, 0, "sample_rate")), 2457600);
    EXPECT_EQ(mxGetScalar(mxGetField(m, 0, "samples")), 65536);
    EXPECT_EQ(values(mxGetField(m, 0, "ccdf_percent")),
              (std::vector<double>{10, 1, 0.1, 0.01, 0.001}));
    EXPECT_EQ(values(mxGetField(m, 0, "acpr_offset_hz")),
              (std::vector<double>{-1980000, -885000, 885000, 1980000}));
    const std::vector<double> acpr = values(mxGetField(m, 0, "acpr_dbc"));
    ASSERT_EQ(acpr.size(), 4u);
    EXPECT_TRUE(std::isnan(acpr[0]) && std::isnan(acpr[3]));
    EXPECT_LT(acpr[1], -60);
    const mxArray* drc = mxGetField(mxGetField(m, 0, "channels"), 0, "drc");
    EXPECT_TRUE(mxIsLogical(mxGetField(drc, 0, "active")));
    EXPECT_EQ(mxGetScalar(mxGetField(drc, 0, "configured_db")), -4);
    EXPECT_NEAR(mxGetScalar(mxGetField(drc, 0, "measured_db")), -4, 0.01);
    const mxArray* ack = mxGetField(mxGetField(m, 0, "channels"), 0, "ack");
    EXPECT_TRUE(std::isnan(mxGetScalar(mxGetField(ack, 0, "measured_db"))));

    // A waveform that is not this frame, or a repeated offset, is refused.
    Owned empty(mxCreateDoubleMatrix(0, 0, mxREAL));
    Owned shortWave = complexRow(std::vector<std::complex<double>>(100, 1.0));
    c = callMlx(mlxmeasureFrame, 1, {p.get(), shortWave.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("samples"), std::string::npos) << c.error;
    Owned twice = row({885000, 885000});
    c = callMlx(mlxmeasureFrame, 1, {p.get(), empty.get(), empty.get(), twice.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("twice"), std::string::npos) << c.error;
}

// A capture analysed through the library: two loops of the frame that
// calculateFrame makes with a gain imbalance, started mid-frame at the
// frame's own rate; another set's masks find no frame.
TEST_F(Routines, AnalyzeCapture) {
    Owned source = str(ONEX_TEST_DATA_DIR "/params/octave_default_v6.mat");
    Call loaded = callMlx(mlxloadParameters, 3, {source.get()});
    ASSERT_TRUE(loaded.ok) << loaded.error;
    Owned p(mxDuplicateArray(loaded[1]));
    mxSetField(p.get(), 0, "DRCactive", mxCreateDoubleScalar(1));
    mxSetField(p.get(), 0, "OverSampling", mxCreateDoubleScalar(2));
    mxSetField(p.get(), 0, "IQGainImbalance", mxCreateDoubleScalar(1));
    Call frame = callMlx(mlxcalculateFrame, 1, {p.get()});
    ASSERT_TRUE(frame.ok) << frame.error;
    const std::vector<std::complex<double>> wave = complexValues(frame[0]);
    std::vector<std::complex<double>> capture(wave.begin() + 1000, wave.end());
    capture.insert(capture.end(), wave.begin(), wave.end());
    Owned samples = complexRow(capture);
    Owned rate(mxCreateDoubleScalar(2457600));

    Call c = callMlx(mlxanalyzeCapture, 1, {samples.get(), rate.get(), p.get()});
    ASSERT_TRUE(c.ok) << c.error;
    const mxArray* a = c[0];
    EXPECT_EQ(mxGetScalar(mxGetField(a, 0, "frames")), 1);
    EXPECT_NEAR(mxGetScalar(mxGetField(a, 0, "time_offset_s")), (65536 - 1000) / 2457600.0, 1e-9);
    EXPECT_NEAR(mxGetScalar(mxGetField(a, 0, "iq_gain_imbalance_db")), 1, 1e-3);
    EXPECT_GT(mxGetScalar(mxGetField(a, 0, "rho")), 0.99999);
    const mxArray* drc = mxGetField(mxGetField(a, 0, "channels"), 0, "drc");
    EXPECT_NEAR(mxGetScalar(mxGetField(drc, 0, "measured_db")), 0, 0.01);
    EXPECT_EQ(values(mxGetField(a, 0, "acpr_offset_hz")),
              (std::vector<double>{-1980000, -885000, 885000, 1980000}));
    EXPECT_TRUE(std::isnan(values(mxGetField(a, 0, "acpr_dbc"))[0]));  // past 1.2288 MHz

    mxSetField(p.get(), 0, "QMask", mxCreateDoubleScalar(12345));
    c = callMlx(mlxanalyzeCapture, 1, {samples.get(), rate.get(), p.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("no frame found"), std::string::npos) << c.error;
}

}  // namespace
