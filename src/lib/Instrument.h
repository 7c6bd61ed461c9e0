#pragma once

// Shared pieces of the instrument gateways.

#include <memory>
#include <mutex>
#include <vector>

#include "MexIO/HwIO.h"
#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"
#include "lib/Args.h"

namespace onex::lib {

// Held around every call on the library's shared connection.
std::mutex& sharedConnectionMutex();

// Input k as an I/O configuration structure.
IoConfig ioConfigArg(const Args& a, std::size_t k);

// A connection of the host's own, opened with hwOpen: its configuration and
// its connection set, used by one call at a time.
struct OwnConnection {
    IoConfig config;
    HwConnections connections;
    std::mutex mutex;
};

// Where an instrument routine's calls go: the configuration given, on the
// library's shared connection (calls serialised across the library), or
// the connection whose handle was given in its place.
struct InstrumentTarget {
    IoConfig config;
    std::shared_ptr<OwnConnection> own;
};

// Input k as a configuration structure or the handle of an open connection
// (a stale handle is refused with an error).
InstrumentTarget instrumentArg(const Args& a, std::size_t k);

// Runs call (which reaches the instrument of t.config) under the lock of
// its connection and with that connection's set in force.
template <class Call>
auto onInstrument(const InstrumentTarget& t, Call call) -> decltype(call()) {
    if (!t.own) {
        std::lock_guard lock(sharedConnectionMutex());
        return call();
    }
    std::lock_guard lock(t.own->mutex);
    const HwConnectionScope scope(t.own->connections);
    return call();
}

// Closes every connection opened with hwOpen (at the library's last
// terminate); their handles are stale afterwards.
void closeOwnConnections();

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
