#include "OneX/FirDesign.h"

#include "platform/Error.h"

// Placeholder until the equiripple designer lands.
namespace onex {
std::vector<double> FilterCoeff_IS95_Std(double) { throw Error("FilterCoeff_IS95_Std: not built yet"); }
std::vector<double> FilterCoeff_IS95_Acp(double) { throw Error("FilterCoeff_IS95_Acp: not built yet"); }
std::vector<std::complex<double>> createRealFIR(double, const std::vector<double>&,
                                                const std::vector<std::complex<double>>&, double) {
    throw Error("createRealFIR: not built yet");
}
}  // namespace onex
