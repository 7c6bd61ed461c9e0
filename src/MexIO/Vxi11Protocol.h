#pragma once

// Numbers of the VXI-11 core protocol that both ends of a link use (the
// client here, the simulator's server): the flag and reason bits of
// device_write and device_read, and the device error codes acted upon.

namespace onex::vxi11 {

inline constexpr long kFlagEnd = 8;          // device_write: the last piece of a message
inline constexpr long kFlagTermChar = 0x80;  // device_read: stop after termChar

inline constexpr long kReasonReqCnt = 1;  // device_read: requestSize bytes sent
inline constexpr long kReasonChr = 2;     // device_read: ended at termChar
inline constexpr long kReasonEnd = 4;     // device_read: end of the reply

inline constexpr long kErrInvalidLink = 4;
inline constexpr long kErrParameter = 5;
inline constexpr long kErrOutOfResources = 9;
inline constexpr long kErrIoTimeout = 15;

}  // namespace onex::vxi11
