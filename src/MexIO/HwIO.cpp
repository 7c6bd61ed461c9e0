#include "MexIO/HwIO.h"

#include <array>
#include <mutex>
#include <utility>

namespace onex {

namespace {
std::mutex& driverMutex() {
    static std::mutex m;
    return m;
}
HwIODriver& installedDriver() {
    static HwIODriver d;
    return d;
}
}  // namespace

Status hwIO(int32_t code, const DriverConfig& config, std::span<const HwArg> args) {
    HwIODriver driver;
    {
        std::lock_guard lock(driverMutex());
        driver = installedDriver();
    }
    if (driver) return driver(code, config, args);
    return builtinHwIO(code, config, args);
}

HwIODriver setHwIODriver(HwIODriver driver) {
    std::lock_guard lock(driverMutex());
    return std::exchange(installedDriver(), std::move(driver));
}

Status hwPing(const IoConfig& config) {
    return hwIO(kHwPing, formatconfig(config), {});
}

Status hwSend(const IoConfig& config, std::string_view command) {
    std::array<HwArg, 1> args{command};
    return hwIO(kHwSend, formatconfig(config), args);
}

Status hwQuery(const IoConfig& config, std::string_view query) {
    std::array<HwArg, 1> args{query};
    return hwIO(kHwQuery, formatconfig(config), args);
}

Status hwDownload(const IoConfig& config, std::span<const std::complex<double>> data,
                  MarkerRows markers, std::string_view /*unused4*/, double /*unused5*/,
                  std::string_view filename) {
    std::array<HwArg, 5> args{data, markers, std::string_view("norm"), 1.0, filename};
    return hwIO(kHwDownload, formatconfig(config), args);
}

Status hwDownload(const IoConfig& config, std::span<const std::complex<double>> data,
                  MarkerRows markers, std::string_view filename) {
    return hwDownload(config, data, markers, "norm", 1.0, filename);
}

Status hwReturnLocal(const IoConfig& config) {
    return hwIO(kHwReturnLocal, formatconfig(config), {});
}

Status hwSetTimeout(const IoConfig& config, double timeOutValue) {
    std::array<HwArg, 1> args{timeOutValue};
    return hwIO(kHwSetTimeout, formatconfig(config), args);
}

Status VerifyComm(const IoConfig& config) {
    return hwPing(config);
}

}  // namespace onex
