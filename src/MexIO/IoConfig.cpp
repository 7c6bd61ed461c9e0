#include "MexIO/IoConfig.h"

#include "platform/Numeric.h"

namespace onex {

namespace {
std::optional<int32_t> toInt(const std::optional<double>& v) {
    if (!v) return std::nullopt;
    return platform::toInt32Saturated(*v);
}
}  // namespace

std::string gpibPrimaryRangeText() {
    return std::to_string(kGpibPrimaryMin) + " to " + std::to_string(kGpibPrimaryMax);
}

std::string gpibSecondaryRangeText() {
    return std::to_string(kGpibSecondaryNone) + " (none) or " + std::to_string(kGpibSecondaryMin) +
           " to " + std::to_string(kGpibSecondaryMax);
}

IoConfig startupIoConfig() {
    IoConfig c;
    c.RS232->baudrate = 9600;
    c.BBGtype = "002";
    c.LastParameterFilename = "";
    return c;
}

DriverConfig formatconfig(const IoConfig& config) {
    DriverConfig out;
    out.type = config.type;
    if (config.GPIB) {
        out.GPIB = DriverConfig::Gpib{toInt(config.GPIB->board), toInt(config.GPIB->primary),
                                      toInt(config.GPIB->secondary)};
    }
    if (config.RS232) {
        out.RS232 = DriverConfig::Rs232{toInt(config.RS232->port), toInt(config.RS232->baudrate),
                                        config.RS232->handshake, config.RS232->device};
    }
    if (config.TCPIP) {
        out.TCPIP = DriverConfig::Tcpip{config.TCPIP->address, toInt(config.TCPIP->board)};
    }
    out.BBGtype = config.BBGtype;
    out.LastParameterFilename = config.LastParameterFilename;
    return out;
}

}  // namespace onex
