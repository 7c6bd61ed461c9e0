#pragma once

// The frame the benchmarks compute: every channel on, the Data channel
// turbo-coded at the highest rate.

#include "OneX/Parameters.h"

namespace onex::bench {

inline Parameters everyChannel(double oversampling, double filterType) {
    Parameters p = InitializeParameters();
    p.RRIactive = 1;
    p.RRIvalue = 3;
    p.DRCactive = 1;
    p.ACKactive = 1;
    p.DATAactive = 1;
    p.EncoderActive = 1;
    p.DataRate = 5;
    p.OverSampling = oversampling;
    p.FilterType = filterType;
    return p;
}

}  // namespace onex::bench
