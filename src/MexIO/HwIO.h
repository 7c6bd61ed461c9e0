#pragma once

// The I/O layer: one routine per operation of the instrument driver hwIO,
// each a thin wrapper that normalises the configuration with formatconfig
// and hands it, the operation code and the arguments to the driver.

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"

namespace onex {

// The two marker rows of a waveform (0/1 per sample). A row may be empty,
// meaning that marker is off throughout; otherwise it has one value per sample.
struct MarkerRows {
    std::span<const double> marker1;
    std::span<const double> marker2;
};

// Marker rows held as values, made from 0/1 marker bytes (a computed frame
// keeps its markers as bytes).
struct MarkerValues {
    std::vector<double> marker1;
    std::vector<double> marker2;
    MarkerValues(std::span<const std::uint8_t> m1, std::span<const std::uint8_t> m2)
        : marker1(m1.begin(), m1.end()), marker2(m2.begin(), m2.end()) {}
    MarkerRows rows() const { return {marker1, marker2}; }
};

// Operation codes of hwIO.
enum HwOp : int32_t {
    kHwPing = 1,
    kHwSend = 2,
    kHwQuery = 3,
    kHwDownload = 4,
    kHwReturnLocal = 5,
    kHwSetTimeout = 50,
};

// One argument after the configuration: a text, a number, a waveform or markers.
using HwArg =
    std::variant<std::string_view, double, std::span<const std::complex<double>>, MarkerRows>;

using HwIODriver =
    std::function<Status(int32_t code, const DriverConfig& config, std::span<const HwArg> args)>;

// Calls the installed driver (the built-in one unless replaced).
Status hwIO(int32_t code, const DriverConfig& config, std::span<const HwArg> args);

// Replaces the driver behind hwIO (for another I/O component, or a recording
// one in tests); an empty function restores the built-in driver. Returns the
// driver that was installed before.
HwIODriver setHwIODriver(HwIODriver driver);

// The built-in driver: LAN (raw socket, VXI-11), RS-232 and GPIB.
Status builtinHwIO(int32_t code, const DriverConfig& config, std::span<const HwArg> args);

// A set of connections of the built-in driver, with the time-outs set with
// hwSetTimeout for them. The application, the command line and the
// library's routines share one for the whole process, which keeps one
// connection open at a time (an instrument may serve one client at a
// time). A caller that drives several instruments at once (a test bench
// with a wanted and an interfering signal) gives each its own set and runs
// its operations inside a HwConnectionScope of that set: each set keeps
// its own connection open until it is closed or destroyed, and operations
// on different sets may run at the same time on different threads.
class HwConnections {
  public:
    HwConnections();
    ~HwConnections();
    HwConnections(const HwConnections&) = delete;
    HwConnections& operator=(const HwConnections&) = delete;
    // Closes the connection and forgets the time-outs.
    void closeAll();

    struct State;  // the built-in driver's
    State& state() { return *state_; }

  private:
    std::unique_ptr<State> state_;
};

// Makes `connections` the set the built-in driver uses for the operations
// this thread runs until the scope ends (scopes nest; the inner one counts).
// Outside any scope the process-wide set is used.
class HwConnectionScope {
  public:
    explicit HwConnectionScope(HwConnections& connections);
    ~HwConnectionScope();
    HwConnectionScope(const HwConnectionScope&) = delete;
    HwConnectionScope& operator=(const HwConnectionScope&) = delete;

  private:
    HwConnections* previous_;
};

// Closes the connection of the process-wide set and forgets its time-outs.
void hwIOCloseAll();

// True when the built-in driver's current set holds a connection to the
// instrument of `config` that is still open (nothing is sent).
bool hwIOConnected(const IoConfig& config);

Status hwPing(const IoConfig& config);
Status hwSend(const IoConfig& config, std::string_view command);
Status hwQuery(const IoConfig& config, std::string_view query);
// The fourth and fifth inputs are never read: "norm" and 1 go to the driver.
Status hwDownload(const IoConfig& config, std::span<const std::complex<double>> data,
                  MarkerRows markers, std::string_view unused4, double unused5,
                  std::string_view filename);
Status hwDownload(const IoConfig& config, std::span<const std::complex<double>> data,
                  MarkerRows markers, std::string_view filename);
Status hwReturnLocal(const IoConfig& config);
// timeOutValue in milliseconds.
Status hwSetTimeout(const IoConfig& config, double timeOutValue);

// The connection dialog's hardware check: the two values of hwPing.
Status VerifyComm(const IoConfig& config);

}  // namespace onex
