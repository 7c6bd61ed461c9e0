#include "OneX/Checks.h"

#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::detail {

void fail(std::string_view routine, std::string_view what, double value) {
    throw Error(std::string(routine) + ": " + std::string(what) + " (got " +
                platform::num2str(value) + ")");
}

void fail(std::string_view routine, std::string_view what) {
    throw Error(std::string(routine) + ": " + std::string(what));
}

long long requireWhole(std::string_view routine, std::string_view name, double value, double lo,
                       double hi) {
    if (!isWhole(value) || value < lo || value > hi)
        fail(routine,
             std::string(name) + " must be a whole number from " + platform::num2str(lo) + " to " +
                 platform::num2str(hi),
             value);
    return static_cast<long long>(value);
}

std::size_t requireLength(std::string_view routine, std::string_view name, double value) {
    return static_cast<std::size_t>(
        requireWhole(routine, name, value, 0, static_cast<double>(kMaxSequenceLength)));
}

void requireFinite(std::string_view routine, std::string_view name, double value) {
    if (!std::isfinite(value)) fail(routine, std::string(name) + " must be finite", value);
}

bool flag(std::string_view routine, std::string_view name, double value) {
    if (std::isnan(value)) fail(routine, std::string(name) + " must be 0 or 1", value);
    return value != 0;
}

}  // namespace onex::detail
