#pragma once

// The I/O configuration as the application stores it (plain numbers), and
// the driver's copy that formatconfig makes of it (32-bit integers).
//
// Configurations arrive from files and from the C API, so every field and
// every sub-structure may be missing: each is a std::optional. A default
// constructed IoConfig holds the connection dialog's defaults.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace onex {

struct IoConfig {
    struct Gpib {
        std::optional<double> board = 0;
        std::optional<double> primary = 19;
        std::optional<double> secondary = -1;  // -1 = no secondary address
        bool operator==(const Gpib&) const = default;
    };
    struct Rs232 {
        std::optional<double> port = 1;  // 1 = first serial port (/dev/ttyS0)
        std::optional<double> baudrate = 19200;
        std::optional<std::string> handshake = std::string("Xon/Xoff");
        // Device path such as /dev/ttyUSB0; when present it wins over port.
        std::optional<std::string> device;
        bool operator==(const Rs232&) const = default;
    };
    struct Tcpip {
        std::optional<std::string> address = std::string("0.0.0.0");
        std::optional<double> board = 0;
        bool operator==(const Tcpip&) const = default;
    };

    std::optional<std::string> type = std::string("GPIB");  // GPIB, RS232 or TCPIP, any case
    std::optional<Gpib> GPIB = Gpib{};
    std::optional<Rs232> RS232 = Rs232{};
    std::optional<Tcpip> TCPIP = Tcpip{};
    // Fields of the application shell, carried along as text.
    std::optional<std::string> BBGtype;
    std::optional<std::string> LastParameterFilename;

    bool operator==(const IoConfig&) const = default;
};

// The RS-232 handshake names, in the order of the connection dialog's list
// and of the number an old-style configuration keeps (0 = None).
inline constexpr std::array<const char*, 3> kHandshakeNames = {"None", "Xon/Xoff", "RTS/CTS"};

enum class Handshake { None, XonXoff, RtsCts };

// A handshake by name, case and punctuation ignored: the three names above,
// and also "off", "xon", "software" and "hardware"; an empty name is None.
// Anything else gives nothing.
std::optional<Handshake> handshakeFromName(std::string_view name);

// GPIB addresses (IEEE 488): primary 0 to 30; secondary 0 to 30, or -1
// for none. The command line, the connection dialog and the driver all
// take these ranges.
inline constexpr int kGpibPrimaryMin = 0;
inline constexpr int kGpibPrimaryMax = 30;
inline constexpr int kGpibSecondaryNone = -1;
inline constexpr int kGpibSecondaryMin = 0;
inline constexpr int kGpibSecondaryMax = 30;
// "0 to 30" and "-1 (none) or 0 to 30", for messages.
std::string gpibPrimaryRangeText();
std::string gpibSecondaryRangeText();

// The configuration the application builds at start-up before its
// configuration file is read: dialog defaults, but 9600 baud, plus the
// shell's two fields.
IoConfig startupIoConfig();

// The driver's copy: the same fields with the numbers as 32-bit integers.
struct DriverConfig {
    struct Gpib {
        std::optional<int32_t> board;
        std::optional<int32_t> primary;
        std::optional<int32_t> secondary;
        bool operator==(const Gpib&) const = default;
    };
    struct Rs232 {
        std::optional<int32_t> port;
        std::optional<int32_t> baudrate;
        std::optional<std::string> handshake;
        std::optional<std::string> device;
        bool operator==(const Rs232&) const = default;
    };
    struct Tcpip {
        std::optional<std::string> address;
        std::optional<int32_t> board;
        bool operator==(const Tcpip&) const = default;
    };

    std::optional<std::string> type;
    std::optional<Gpib> GPIB;
    std::optional<Rs232> RS232;
    std::optional<Tcpip> TCPIP;
    std::optional<std::string> BBGtype;
    std::optional<std::string> LastParameterFilename;

    bool operator==(const DriverConfig&) const = default;
};

// Copy of config with each numeric field that is present rounded (halves
// away from zero) and saturated to a 32-bit signed integer; missing fields
// and sub-structures stay missing, text passes unchanged.
DriverConfig formatconfig(const IoConfig& config);

}  // namespace onex
