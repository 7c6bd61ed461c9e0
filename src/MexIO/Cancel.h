#pragma once

// Cancelling a long instrument operation from another thread (a Cancel
// button, a signal). Whoever starts the operation owns a std::stop_source
// and runs the operation inside a CancelScope with its token; a stop
// requested on the source then ends the transport's pending wait promptly
// (the connection is closed) and the download and playback sequences stop
// at their next step, reporting kCancelled.

#include <stop_token>

namespace onex {

// Status of an operation the user cancelled (shared with the download's
// own "Download cancelled" of the RS-232 question).
inline constexpr int kCancelled = -1;

// Makes token the cancel request of the instrument operations this thread
// runs until the scope ends (scopes nest; the inner one counts).
class CancelScope {
  public:
    explicit CancelScope(std::stop_token token);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

  private:
    std::stop_token previous_;
};

// The cancel request of the current thread's scope (one that can never be
// requested outside any scope).
std::stop_token currentCancelToken();

// True once a stop was requested on the current scope's token.
bool cancelRequested();

}  // namespace onex
