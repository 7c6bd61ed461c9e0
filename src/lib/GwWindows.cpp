// Gateways of the window routines: each hands its inputs to the desktop
// part's routine of the same name (lib/Windows.h).

#include <atomic>

#include "lib/Gateways.h"
#include "lib/Windows.h"
#include "platform/Error.h"

namespace onex::lib {

namespace {
std::atomic<WindowRoutines> gProvider{nullptr};
}

void installWindowRoutines(WindowRoutines provider) {
    gProvider.store(provider);
}

std::vector<Array> callWindowRoutine(std::string_view name, std::span<const Array> in,
                                     std::size_t nargout) {
    const WindowRoutines provider = gProvider.load();
    if (!provider)
        throw Error(std::string(name) +
                    ": the windows are not available here; only OneX_Rev_b_lib built with its "
                    "desktop part (ONEX_BUILD_GUI) has them.");
    return provider(name, in, nargout);
}

namespace {

// The inputs as values: the window routines take platform values, and a
// missing input (an mlf NULL before the last given one) has no default here.
std::vector<Array> values(const Args& args) {
    std::vector<Array> in;
    in.reserve(args.count());
    for (std::size_t k = 0; k < args.count(); ++k)
        in.push_back(args.at(k));
    return in;
}

std::vector<Array> forward(const Args& args) {
    return callWindowRoutine(args.name(), values(args), args.nargout());
}

}  // namespace

namespace gw {

std::vector<Array> OneX_Rev_b(const Args& args) {
    return forward(args);
}
std::vector<Array> OneX_Rev_GUI_b(const Args& args) {
    return forward(args);
}
std::vector<Array> OneX_Rev_GUI_SlotSetup(const Args& args) {
    return forward(args);
}
std::vector<Array> rfCommonUI(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_AddMenu(const Args& args) {
    return forward(args);
}
std::vector<Array> TARNconfig(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_SigGen(const Args& args) {
    return forward(args);
}
std::vector<Array> loadFigure(const Args& args) {
    return forward(args);
}
std::vector<Array> PositionChildWindow(const Args& args) {
    return forward(args);
}
std::vector<Array> ResizeAllFonts(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_Splash(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_About(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotCCDF(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotSpectrum(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotIQTime(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotEyeDiagram(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotScatterDiagram(const Args& args) {
    return forward(args);
}
std::vector<Array> QV_PlotWaterfall(const Args& args) {
    return forward(args);
}

}  // namespace gw
}  // namespace onex::lib
