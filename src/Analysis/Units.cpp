#include "Analysis/Units.h"

#include <cmath>

namespace onex::analysis {

FrequencyUnits DetermineFrequencyUnits(double x) {
    const double k = std::floor(std::log10(x) / 3);
    if (k == 0) return {"Hz", 1};
    if (k == 1) return {"kHz", 1e3};
    if (k == 2) return {"MHz", 1e6};
    return {"GHz", 1e9};
}

TimeUnits DetermineTimeUnits(double x) {
    const double k = std::floor(std::log10(x) / 3);
    if (k >= 0) return {"S", 1};  // k above 0 would read "pS" for kiloseconds
    if (k == -1) return {"mS", 1e3};
    if (k == -2) return {"uS", 1e6};
    if (k == -3) return {"nS", 1e9};
    return {"pS", 1e12};
}

}  // namespace onex::analysis
