#pragma once

#include <string>

namespace onex {

// Outcome of every instrument routine: 0 = success; response is the
// instrument's answer for a query, otherwise the text shown to the user.
struct Status {
    int status = 0;
    std::string response;
};

namespace mexio {

// Status values of the built-in driver (0 = success; kCancelled in
// MexIO/Cancel.h). The download and playback sequences use the same numbers.
inline constexpr int kBadArgument = 1;      // refused before anything was sent
inline constexpr int kNotConnected = 2;     // the instrument could not be reached
inline constexpr int kTimedOut = 3;         // the instrument did not answer in time
inline constexpr int kIoFailure = 4;        // the connection broke or the reply was unusable
inline constexpr int kInstrumentError = 5;  // the instrument reported an error
inline constexpr int kNoLibrary = 6;        // no GPIB library on this system

}  // namespace mexio

}  // namespace onex
