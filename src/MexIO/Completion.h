#pragma once

// The check that ends a sequence of commands: "*OPC?" waits until the
// instrument has worked through everything sent before it, then
// ":SYSTem:ERRor?" is read until it answers "No error" (entry 0), at most
// kMaxErrorReads times, so that an instrument that never empties its queue
// cannot keep us reading. A lost connection shows up here as a failed
// query, a refused command as an entry of the queue.

#include <functional>
#include <string_view>

#include "MexIO/Status.h"
#include "MexIO/Transport.h"

namespace onex {

inline constexpr int kMaxErrorReads = 32;

// `query` sends one query line and returns its status and reply. Returns
// status 0 when the instrument reported no error; mexio::kInstrumentError
// with the entries, as the instrument wrote them and joined by "; ", when
// it did; mexio::kIoFailure for a reply of neither form; or the status and
// text of the first query that failed.
Status awaitCompletion(const std::function<Status(std::string_view query)>& query);

}  // namespace onex
