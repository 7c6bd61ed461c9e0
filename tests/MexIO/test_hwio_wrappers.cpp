// The wrappers hand formatconfig's copy, the operation code and the
// arguments to the driver and return its results unchanged.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "MexIO/HwIO.h"

using namespace onex;

namespace {

struct Call {
    int32_t code;
    DriverConfig config;
    std::vector<HwArg> args;
    // Copies of what the views point at, taken during the call.
    std::vector<std::string> texts;
};

class Wrappers : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ =
            setHwIODriver([this](int32_t code, const DriverConfig& c, std::span<const HwArg> args) {
                Call call{code, c, {args.begin(), args.end()}, {}};
                for (const auto& a : args)
                    if (auto* t = std::get_if<std::string_view>(&a)) call.texts.emplace_back(*t);
                calls_.push_back(call);
                return Status{static_cast<int>(code) * 10, "reply " + std::to_string(code)};
            });
    }
    void TearDown() override { setHwIODriver(previous_); }
    std::vector<Call> calls_;
    HwIODriver previous_;
};

}  // namespace

// The kind of one argument, as the interface table names it.
std::string kindOf(const HwArg& a) {
    static const char* kKinds[] = {"text", "number", "waveform", "markers"};
    return kKinds[a.index()];
}

TEST_F(Wrappers, EachRoutineCallsItsOperationAndReturnsTheDriversResult) {
    IoConfig c;
    c.GPIB->primary = 18.5;
    const std::vector<std::complex<double>> data = {{1, 0}};
    const std::vector<double> m = {1};
    const std::map<std::string, std::function<Status()>> routines = {
        {"hwPing", [&] { return hwPing(c); }},
        {"hwSend", [&] { return hwSend(c, ":OUTP ON"); }},
        {"hwQuery", [&] { return hwQuery(c, "*IDN?"); }},
        {"hwDownload",
         [&] {
             return hwDownload(c, data, {m, m}, "x", 0.0, "NAME");
         }},
        {"hwReturnLocal", [&] { return hwReturnLocal(c); }},
        {"hwSetTimeout", [&] { return hwSetTimeout(c, 10000); }},
        {"VerifyComm", [&] { return VerifyComm(c); }},
    };
    std::ifstream table(std::string(ONEX_TEST_DATA_DIR) + "/mexio/hwio_operations.txt");
    std::size_t rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string routine, kind;
        int32_t code = 0;
        fields >> routine >> code;
        std::vector<std::string> kinds;
        while (fields >> kind)
            if (kind != "-") kinds.push_back(kind);
        SCOPED_TRACE(routine);
        ASSERT_TRUE(routines.contains(routine));
        calls_.clear();
        const Status s = routines.at(routine)();
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0].code, code);
        std::vector<std::string> passed;
        for (const HwArg& a : calls_[0].args)
            passed.push_back(kindOf(a));
        EXPECT_EQ(passed, kinds);
        if (routine == "hwSetTimeout") {
            EXPECT_EQ(std::get<double>(calls_[0].args[0]), 10000.0);
        }
        // The driver's pair comes back unchanged; the driver gets
        // formatconfig's copy.
        EXPECT_EQ(s.status, code * 10);
        EXPECT_EQ(s.response, "reply " + std::to_string(code));
        EXPECT_EQ(calls_[0].config, formatconfig(c));
        EXPECT_EQ(calls_[0].config.GPIB->primary, 19);
        ++rows;
    }
    EXPECT_EQ(rows, routines.size());
}

TEST_F(Wrappers, CommandTextsPassUnchanged) {
    IoConfig c;
    hwSend(c, "\n");
    hwSend(c, " :source:rad:arb:wav \"arbi:X\" ");
    EXPECT_EQ(calls_[0].texts[0], "\n");
    EXPECT_EQ(calls_[1].texts[0], " :source:rad:arb:wav \"arbi:X\" ");
}

TEST_F(Wrappers, DownloadAlwaysPassesNormAndOne) {
    IoConfig c;
    std::vector<std::complex<double>> data = {{1, 0}, {0, -1}};
    std::vector<double> m1 = {1, 0}, m2 = {0, 1};
    hwDownload(c, data, {m1, m2}, "other", 7.0, "NAME");
    ASSERT_EQ(calls_.size(), 1u);
    const Call& call = calls_[0];
    EXPECT_EQ(call.code, 4);
    ASSERT_EQ(call.args.size(), 5u);
    auto wave = std::get<std::span<const std::complex<double>>>(call.args[0]);
    EXPECT_EQ(wave.data(), data.data());
    EXPECT_EQ(wave.size(), 2u);
    auto markers = std::get<MarkerRows>(call.args[1]);
    EXPECT_EQ(markers.marker1.data(), m1.data());
    EXPECT_EQ(markers.marker2.data(), m2.data());
    EXPECT_EQ(std::get<std::string_view>(call.args[2]), "norm");
    EXPECT_EQ(std::get<double>(call.args[3]), 1.0);
    EXPECT_EQ(call.texts, (std::vector<std::string>{"norm", "NAME"}));
}

TEST(DriverHook, EmptyFunctionRestoresTheBuiltInDriver) {
    auto previous = setHwIODriver([](int32_t, const DriverConfig&, std::span<const HwArg>) {
        return Status{42, "fake"};
    });
    IoConfig c;
    c.type = "nonsense";
    EXPECT_EQ(hwPing(c).status, 42);
    setHwIODriver({});
    Status s = hwPing(c);
    EXPECT_EQ(s.status, 1);
    EXPECT_NE(s.response.find("unknown connection type 'nonsense'"), std::string::npos);
    setHwIODriver(previous);
}
