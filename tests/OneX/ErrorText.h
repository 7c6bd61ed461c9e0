#pragma once

// The text of the onex::Error a call raises, or "<no error>".

#include <string>

#include "platform/Error.h"

namespace onex::testsupport {

template <typename Fn>
std::string errorText(Fn&& fn) {
    try {
        fn();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace onex::testsupport
