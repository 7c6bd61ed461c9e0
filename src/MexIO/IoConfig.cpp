#include "MexIO/IoConfig.h"

#include <cctype>

#include "platform/Numeric.h"

namespace onex {

namespace {
std::optional<int32_t> toInt(const std::optional<double>& v) {
    if (!v) return std::nullopt;
    return platform::toInt32Saturated(*v);
}
}  // namespace

std::optional<Handshake> handshakeFromName(std::string_view name) {
    std::string k;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)))
            k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (k.empty() || k == "none" || k == "off") return Handshake::None;
    if (k == "xonxoff" || k == "xon" || k == "software") return Handshake::XonXoff;
    if (k == "rtscts" || k == "hardware") return Handshake::RtsCts;
    return std::nullopt;
}

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
