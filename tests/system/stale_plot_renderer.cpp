// A plot renderer library as another build would leave it installed: an
// older version and interface, or (ONEX_NO_TAG) one from before renderers
// carried a tag. Its drawing function must never be called: it ends the
// process that calls it.
#include <cstdint>
#include <cstdlib>

namespace {
struct OlderTag {
    std::uint32_t size;
    std::uint32_t interfaceVersion;
    const char* version;
};
}  // namespace

#ifndef ONEX_NO_TAG
extern "C" __attribute__((visibility("default"))) const OlderTag* onexrev_plot_renderer_tag() {
    static const OlderTag tag{sizeof(OlderTag), 1, "0.9.0"};
    return &tag;
}
#endif

extern "C" __attribute__((visibility("default"))) int onexrev_plot_render() {
    std::abort();
}
