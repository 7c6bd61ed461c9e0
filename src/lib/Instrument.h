#pragma once

// Shared pieces of the instrument gateways.

#include <mutex>
#include <vector>

#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"
#include "lib/Args.h"

namespace onex::lib {

// Held around every call that reaches the instrument.
std::mutex& instrumentMutex();

// Input k as an I/O configuration structure.
IoConfig ioConfigArg(const Args& a, std::size_t k);

// Input k as marker rows: [] (no markers), one row, or two rows (row 1 =
// marker1, row 2 = marker2).
struct MarkerRowsData {
    std::vector<double> marker1;
    std::vector<double> marker2;
};
MarkerRowsData markerArg(const Args& a, std::size_t k);

// [status, response] as the numeric platform returns them.
std::vector<Array> statusOutputs(const Status& s);

}  // namespace onex::lib
