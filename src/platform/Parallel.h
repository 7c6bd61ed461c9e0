#pragma once

// Two-way parallelism for the large passes over a frame (filtering,
// impairments). One helper thread is started at the first use and kept for
// the process. The work is cut into tasks that the caller and the helper take
// in turn from a shared counter, so a helper that wakes late (an idle
// processor of a virtual machine can take a millisecond) or not at all
// leaves the caller to do more of them. Where the helper is busy with another
// caller's work, cannot be started, or the machine has one processor, the
// caller does every task: the results never depend on which thread did what,
// only the time does.

#include <cstddef>
#include <functional>

namespace onex::platform {

// Runs work(task, worker) for every task in [0, tasks), each once, and returns
// when all are done. `worker` is 0 on the calling thread and 1 on the helper,
// for per-thread scratch space. After a task throws no new task is started;
// the first exception is rethrown here.
void runShared(std::size_t tasks, const std::function<void(std::size_t, int)>& work);

}  // namespace onex::platform
