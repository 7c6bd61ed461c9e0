// The calling conventions of the C API: declared counts, errors that never
// escape, the mlf/mlfN/mlfV forms, output ownership, initialisation and
// threads.

#include <filesystem>
#include <thread>

#include "lib/LibTest.h"

using namespace libtest;
namespace fs = std::filesystem;

namespace {

class Conventions : public LibTest {};

// A pointer value no call may write over.
mxArray* const kSentinel = reinterpret_cast<mxArray*>(0x10);

TEST_F(Conventions, MoreInputsThanDeclaredAreRefusedWithTheRunTimeText) {
    Owned a = num(1), s(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxArray* in[] = {a.get(), a.get(), a.get(), a.get(), s.get()};
    mxArray* out[2] = {kSentinel, kSentinel};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(mlxOneX_RevLongCode(2, out, 5, in));
    const std::string printed = testing::internal::GetCapturedStderr();
    const std::string expected =
        "Run-time Error: File: OneX_RevLongCode Line: 1 Column: 1 The function "
        "\"OneX_RevLongCode\" was called with more than the declared number of inputs (4).";
    ASSERT_NE(OneX_Rev_b_libLastError(), nullptr);
    EXPECT_EQ(OneX_Rev_b_libLastError(), expected);
    EXPECT_EQ(printed, expected + "\n");
    EXPECT_EQ(out[0], kSentinel);
    EXPECT_EQ(out[1], kSentinel);
}

TEST_F(Conventions, MoreOutputsThanDeclaredAreRefusedWithTheRunTimeText) {
    Owned reps = num(1);
    mxArray* in[] = {reps.get()};
    mxArray* out[3] = {kSentinel, kSentinel, kSentinel};
    EXPECT_FALSE(mlxOneX_RevShortCode(3, out, 1, in));
    EXPECT_STREQ(OneX_Rev_b_libLastError(),
                 "Run-time Error: File: OneX_RevShortCode Line: 1 Column: 1 The function "
                 "\"OneX_RevShortCode\" was called with more than the declared number of "
                 "outputs (2).");
    EXPECT_EQ(out[0], kSentinel);

    // mlfN names its count: one above remez2's three is refused the same way.
    Owned order = num(10), ff = row({0, 0.4, 0.5, 1}), aa = row({1, 1, 0, 0});
    EXPECT_EQ(
        mlfNremez2(4, nullptr, nullptr, order.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_NE(std::string(OneX_Rev_b_libLastError()).find("declared number of outputs (3)."),
              std::string::npos);
}

TEST_F(Conventions, ACountRefusalComesBeforeAnyWork) {
    // saveHalberdWaveform would write its file; with a fourth input nothing
    // may be written.
    const fs::path file = fs::temp_directory_path() / "onex_lib_refused.bin";
    fs::remove(file);
    Owned v = complexRow({{0.5, 0.25}}), name = str(file.c_str()), scale = num(1);
    mxArray* in[] = {v.get(), name.get(), scale.get(), scale.get()};
    mxArray* out[1] = {kSentinel};
    EXPECT_FALSE(mlxsaveHalberdWaveform(1, out, 4, in));
    EXPECT_NE(std::string(OneX_Rev_b_libLastError()).find("declared number of inputs (3)."),
              std::string::npos);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(out[0], kSentinel);

    // With three it is written.
    Call ok = callMlx(mlxsaveHalberdWaveform, 1, {v.get(), name.get(), scale.get()});
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(mxGetScalar(ok[0]), 1);
    EXPECT_EQ(fs::file_size(file), 4u);
    fs::remove(file);
}

TEST_F(Conventions, FewerInputsThanNeededNameTheRoutine) {
    Owned a = num(0);
    std::vector<mxArray*> in(20, a.get());
    mxArray* out[1] = {kSentinel};
    EXPECT_FALSE(mlxOneX_RevTrfChn(1, out, 20, in.data()));
    EXPECT_STREQ(OneX_Rev_b_libLastError(),
                 "OneX_RevTrfChn: not enough input arguments (20 given, exactly 21 needed).");
    EXPECT_EQ(out[0], kSentinel);

    Call c = callMlx(mlxGenerateBitStream, 1, {a.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error,
              "GenerateBitStream: not enough input arguments (1 given, at least 2 needed).");
}

TEST_F(Conventions, WrongTypedInputsAreErrorsThatNameTheInput) {
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    Owned text = str("1011"), two = num(2), cell(mxCreateCellMatrix(1, 2));
    Owned z = complexRow({{1, 1}});

    Call c = callMlx(mlxOneX_RevShortCode, 2, {s.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error,
              "OneX_RevShortCode: input 1 (reps) must be a real number, got a 1x1 struct.");

    c = callMlx(mlxOneX_Repeat, 1, {text.get(), two.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, "OneX_Repeat: input 1 (input) must be a real vector, got a 1x4 char.");

    c = callMlx(mlxOneX_Repeat, 1, {z.get(), two.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error,
              "OneX_Repeat: input 1 (input) must be a real vector, got a 1x1 complex double.");

    c = callMlx(mlxhwPing, 2, {cell.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, "hwPing: input 1 (config) must be a 1x1 struct, got a 1x2 cell.");

    // A structure that is no configuration: the field is named.
    Owned cfg(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxSetField(cfg.get(), 0, "type", num(3).release());
    c = callMlx(mlxhwSend, 2, {cfg.get(), text.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("hwSend: input 1 (config): "), std::string::npos) << c.error;
    EXPECT_NE(c.error.find("type"), std::string::npos) << c.error;

    // A text where the frame builder wants its slot vector.
    std::vector<Owned> keep;
    std::vector<const mxArray*> in;
    for (int k = 0; k < 21; ++k) {
        keep.push_back(k == 4 ? str("1111111111111111") : num(0));
        in.push_back(keep.back().get());
    }
    std::vector<mxArray*> raw(in.size());
    for (std::size_t k = 0; k < in.size(); ++k)
        raw[k] = const_cast<mxArray*>(in[k]);
    mxArray* out[2] = {kSentinel, kSentinel};
    EXPECT_FALSE(mlxOneX_RevTrfChn(2, out, 21, raw.data()));
    EXPECT_STREQ(OneX_Rev_b_libLastError(),
                 "OneX_RevTrfChn: input 5 (ACKslotActive) must be a real vector, got a 1x16 "
                 "char.");
}

TEST_F(Conventions, NullArgumentsAreErrors) {
    Owned a = num(1);
    mxArray* in[] = {a.get(), nullptr};
    mxArray* out[1] = {kSentinel};
    EXPECT_FALSE(mlxOneX_Repeat(1, out, 2, in));
    EXPECT_STREQ(OneX_Rev_b_libLastError(), "OneX_Repeat: input 2 is NULL.");
    EXPECT_FALSE(mlxOneX_Repeat(1, nullptr, 2, in));
    EXPECT_FALSE(mlxOneX_Repeat(-1, out, 2, in));

    // mlf: NULL is an input not given; one without a default is missing.
    EXPECT_EQ(mlfGenerateBitStream(nullptr, a.get(), nullptr), nullptr);
    EXPECT_STREQ(OneX_Rev_b_libLastError(), "GenerateBitStream: input 1 (type) is missing.");
    // One with a default takes it: PNgenerator(n = default 9, dataLength 12).
    Owned twelve = num(12);
    Owned pn(mlfPNgenerator(nullptr, twelve.get(), nullptr, nullptr, nullptr));
    ASSERT_NE(pn, nullptr) << OneX_Rev_b_libLastError();
    EXPECT_EQ(values(pn.get()), bits("111111111 000"));
}

TEST_F(Conventions, RoutineErrorsComeBackAsTextAndTheLastErrorClearsOnSuccess) {
    Owned packet = row(std::vector<double>(256, 0)), badRate = num(7), rate = num(1);
    Call c = callMlx(mlxOneX_RevEncoder, 1, {packet.get(), badRate.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_FALSE(c.error.empty());
    EXPECT_NE(c.error.find("OneX_RevEncoder"), std::string::npos) << c.error;

    c = callMlx(mlxOneX_RevEncoder, 1, {packet.get(), rate.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(OneX_Rev_b_libLastError(), nullptr);
    EXPECT_EQ(mxGetN(c[0]), 8192u);

    // The system's own texts pass through unchanged.
    Owned two = num(2), ff = row({0, 0.5, 1}), aa = row({1, 1, 0});
    c = callMlx(mlxremez2, 1, {two.get(), ff.get(), aa.get()});
    EXPECT_EQ(c.error, "Filter order must be 3 or more.");
    Owned ten = num(10);
    c = callMlx(mlxremez2, 1, {ten.get(), ff.get(), aa.get()});
    EXPECT_EQ(c.error, "The number of frequency points must be even.");
}

TEST_F(Conventions, MlfReturnsTheFirstOutputAndWritesTheWantedReferences) {
    Owned reps = num(1);
    mxArray* q = kSentinel;
    Owned i(mlfOneX_RevShortCode(&q, reps.get()));
    ASSERT_NE(i, nullptr) << OneX_Rev_b_libLastError();
    ASSERT_NE(q, kSentinel);
    Owned qOwned(q);
    EXPECT_EQ(mxGetN(i.get()), 32768u);
    EXPECT_EQ(mxGetN(q), 32768u);
    // The two short codes begin differently.
    EXPECT_EQ(values(i.get())[1], 0);
    EXPECT_EQ(values(q)[1], 0);
    EXPECT_EQ(values(i.get())[2], 1);
    EXPECT_EQ(values(q)[2], 0);

    // Without the reference only the first output is made.
    Owned only(mlfOneX_RevShortCode(nullptr, reps.get()));
    EXPECT_NE(only, nullptr);

    // On failure nothing is returned and no reference is written.
    Owned bad = str("x");
    q = kSentinel;
    EXPECT_EQ(mlfOneX_RevShortCode(&q, bad.get()), nullptr);
    EXPECT_EQ(q, kSentinel);

    // A routine without outputs answers true or false.
    Owned noName = num(5);
    EXPECT_FALSE(mlfsaveConfig(noName.get()));
}

TEST_F(Conventions, RemezComputesItsReportOnlyWhenThreeOutputsAreAsked) {
    Owned order = num(11), ff = row({0, 0.4, 0.5, 1}), aa = row({1, 1, 0, 0});
    mxArray* err = nullptr;
    mxArray* res = nullptr;
    Owned h(mlfNremez2(3, &err, &res, order.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr));
    ASSERT_NE(h, nullptr) << OneX_Rev_b_libLastError();
    Owned errOwned(err), resOwned(res);
    EXPECT_EQ(mxGetN(h.get()), 12u);
    EXPECT_GT(mxGetScalar(err), 0);
    ASSERT_TRUE(mxIsStruct(res));
    const char* fields[] = {"fgrid", "H", "error", "des", "wt", "iextr", "fextr"};
    ASSERT_EQ(mxGetNumberOfFields(res), 7);
    for (int f = 0; f < 7; ++f)
        EXPECT_STREQ(mxGetFieldNameByNumber(res, f), fields[f]);
    // The weighted error at the extremal frequencies is err in magnitude.
    const mxArray* iextr = mxGetField(res, 0, "iextr");
    const mxArray* error = mxGetField(res, 0, "error");
    for (double i : values(iextr))
        EXPECT_NEAR(std::abs(values(error)[static_cast<std::size_t>(i) - 1]), mxGetScalar(err),
                    1e-9);

    // mlf with the res reference NULL: two outputs, no report.
    err = nullptr;
    res = kSentinel;
    Owned h2(mlfremez2(&err, nullptr, order.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr));
    ASSERT_NE(h2, nullptr);
    Owned err2(err);
    EXPECT_EQ(values(h2.get()), values(h.get()));

    // mlfN with 0 outputs and mlfV: the design runs, nothing is handed out.
    EXPECT_EQ(
        mlfNremez2(0, nullptr, nullptr, order.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(OneX_Rev_b_libLastError(), nullptr);
    EXPECT_TRUE(mlfVremez2(order.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr));
    Owned two = num(2);
    EXPECT_FALSE(mlfVremez2(two.get(), ff.get(), aa.get(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(OneX_Rev_b_libLastError(), "Filter order must be 3 or more.");
}

TEST_F(Conventions, WithNoOutputsAskedNothingIsHandedOut) {
    Owned reps = num(1);
    mxArray* in[] = {reps.get()};
    EXPECT_TRUE(mlxOneX_RevShortCode(0, nullptr, 1, in));
}

TEST(ConventionsUninitialised, RoutinesNeedTheLibraryInitialised) {
    Owned reps = num(1);
    mxArray* in[] = {reps.get()};
    mxArray* out[1] = {kSentinel};
    EXPECT_FALSE(mlxOneX_RevShortCode(1, out, 1, in));
    EXPECT_STREQ(OneX_Rev_b_libLastError(),
                 "OneX_RevShortCode: the library is not initialised; call "
                 "OneX_Rev_b_libInitialize first.");
    ASSERT_TRUE(OneX_Rev_b_libInitialize());
    EXPECT_TRUE(mlxOneX_RevShortCode(1, out, 1, in));
    mxDestroyArray(out[0]);
    OneX_Rev_b_libTerminate();
    // A second terminate is harmless; the library is closed again.
    OneX_Rev_b_libTerminate();
    EXPECT_FALSE(mlxOneX_RevShortCode(1, out, 1, in));
}

TEST_F(Conventions, ThreadsRunRoutinesConcurrentlyWithTheirOwnLastError) {
    // One thread keeps failing while another keeps computing: each sees only
    // its own outcome.
    std::vector<double> firstChips;
    bool goodStayedClean = true, badSawItsError = true;
    std::thread good([&] {
        Owned len = num(32768), init = row(std::vector<double>(42, 1)), m = num(1);
        for (int k = 0; k < 20; ++k) {
            mxArray* q = nullptr;
            Owned i(mlfOneX_RevLongCode(&q, len.get(), init.get(), m.get(), m.get()));
            Owned qo(q);
            goodStayedClean = goodStayedClean && i && OneX_Rev_b_libLastError() == nullptr;
            if (i && k == 0) firstChips = values(i.get());
        }
    });
    std::thread bad([&] {
        Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
        for (int k = 0; k < 200; ++k) {
            Owned o(mlfOneX_RevShortCode(nullptr, s.get()));
            badSawItsError = badSawItsError && !o && OneX_Rev_b_libLastError() != nullptr;
        }
    });
    good.join();
    bad.join();
    EXPECT_TRUE(goodStayedClean);
    EXPECT_TRUE(badSawItsError);
    ASSERT_EQ(firstChips.size(), 32768u);
    // Mask 1 reads register stage 1, which starts as all ones here.
    EXPECT_EQ(firstChips[0], 1);
}

}  // namespace
