#include "MexIO/Cancel.h"

#include <utility>

namespace onex {

namespace {
thread_local std::stop_token current;
}

CancelScope::CancelScope(std::stop_token token) : previous_(std::exchange(current, token)) {}

CancelScope::~CancelScope() {
    current = std::move(previous_);
}

std::stop_token currentCancelToken() {
    return current;
}

bool cancelRequested() {
    return current.stop_requested();
}

}  // namespace onex
