// GPIB backend: the system's GPIB library (linux-gpib's libgpib.so.0 or the
// NI-488.2 library) loaded at run time, so that the program builds and runs
// where none is installed and then reports that instead of failing to start.

#include <dlfcn.h>

#include <array>
#include <mutex>
#include <vector>

#include "MexIO/Cancel.h"
#include "MexIO/IoConfig.h"
#include "MexIO/Transport.h"

namespace onex::mexio {

namespace {

constexpr const char* kLibraries[] = {"libgpib.so.0", "libgpib.so", "libni4882.so.1",
                                      "libni4882.so"};

// ibsta bits.
constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
// ibdev eos mode: terminate a read on the eos byte (LF).
constexpr int kReos = 0x0400;

struct GpibApi {
    void* handle = nullptr;
    std::string name;
    std::string error;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibloc)(int) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*ibtmo)(int, int) = nullptr;
    int (*ibeot)(int, int) = nullptr;
    long (*ThreadIbcntl)() = nullptr;
    int (*ThreadIberr)() = nullptr;
};

template <class F>
bool bind(void* h, const char* sym, F& f) {
    f = reinterpret_cast<F>(::dlsym(h, sym));
    return f != nullptr;
}

const GpibApi& api() {
    static GpibApi a;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string tried;
        for (const char* lib : kLibraries) {
            void* h = ::dlopen(lib, RTLD_NOW | RTLD_LOCAL);
            if (!h) {
                tried += tried.empty() ? lib : std::string(", ") + lib;
                continue;
            }
            GpibApi c;
            c.handle = h;
            c.name = lib;
            if (bind(h, "ibdev", c.ibdev) && bind(h, "ibwrt", c.ibwrt) && bind(h, "ibrd", c.ibrd) &&
                bind(h, "ibloc", c.ibloc) && bind(h, "ibonl", c.ibonl) &&
                bind(h, "ibtmo", c.ibtmo) && bind(h, "ibeot", c.ibeot) &&
                bind(h, "ThreadIbcntl", c.ThreadIbcntl) && bind(h, "ThreadIberr", c.ThreadIberr)) {
                a = c;
                return;
            }
            ::dlclose(h);
            tried += tried.empty() ? lib : std::string(", ") + lib;
            tried += " (incomplete)";
        }
        a.error = "no GPIB library found (tried " + tried +
                  "); install linux-gpib or NI-488.2 to use GPIB";
    });
    return a;
}

// The smallest of the standard time-out codes T10us..T1000s that is at
// least the wanted time.
int timeoutCode(Millis t) {
    static constexpr std::array<double, 17> seconds = {10e-6, 30e-6, 100e-6, 300e-6, 1e-3, 3e-3,
                                                       10e-3, 30e-3, 100e-3, 300e-3, 1,    3,
                                                       10,    30,    100,    300,    1000};
    double s = static_cast<double>(t.count()) / 1000.0;
    for (std::size_t i = 0; i < seconds.size(); ++i)
        if (seconds[i] >= s) return static_cast<int>(i) + 1;
    return static_cast<int>(seconds.size());
}

std::string errText(int iberr) {
    static const char* names[] = {"EDVR system error",
                                  "ECIC not controller in charge",
                                  "ENOL no listener",
                                  "EADR address error",
                                  "EARG bad argument",
                                  "ESAC not system controller",
                                  "EABO I/O aborted (time-out)",
                                  "ENEB no such board",
                                  "EDMA DMA error",
                                  "",
                                  "EOIP I/O in progress",
                                  "ECAP no capability",
                                  "EFSO file system error",
                                  "",
                                  "EBUS bus error",
                                  "ESTB status byte lost",
                                  "ESRQ SRQ stuck",
                                  "",
                                  "",
                                  "",
                                  "ETAB table problem"};
    if (iberr >= 0 && iberr < static_cast<int>(std::size(names)) && names[iberr][0])
        return names[iberr];
    return "GPIB error " + std::to_string(iberr);
}

class GpibTransport : public Transport {
  public:
    GpibTransport(int32_t board, int32_t primary, int32_t secondary, Millis timeout)
        : api_(api()),
          description_("GPIB" + std::to_string(board) + "::" + std::to_string(primary) +
                       (secondary >= 0 ? "::" + std::to_string(secondary) : "")) {
        if (!api_.handle) throw IoError(kNoLibrary, api_.error);
        if (board < 0 || board > 15) throw IoError(kBadArgument, "GPIB board must be 0 to 15");
        if (primary < kGpibPrimaryMin || primary > kGpibPrimaryMax)
            throw IoError(kBadArgument, "GPIB primary address must be " + gpibPrimaryRangeText());
        if (secondary < kGpibSecondaryNone || secondary > kGpibSecondaryMax)
            throw IoError(kBadArgument,
                          "GPIB secondary address must be " + gpibSecondaryRangeText());
        int sad = secondary < 0 ? 0 : 0x60 + secondary;
        timeout_ = timeout;
        ud_ = api_.ibdev(board, primary, sad, timeoutCode(timeout), 1, kReos | '\n');
        if (ud_ < 0) throw IoError(kNotConnected, "ibdev failed: " + errText(api_.ThreadIberr()));
    }

    ~GpibTransport() override {
        if (ud_ >= 0) api_.ibonl(ud_, 0);
    }

    void write(std::span<const uint8_t> bytes, Millis timeout) override {
        setTimeout(timeout);
        // Pieces so that the time-out bounds each wait, not the whole
        // transfer; EOI goes with the last byte only.
        constexpr std::size_t kPiece = 65536;
        std::size_t off = 0;
        while (off < bytes.size()) {
            // The library's calls cannot be interrupted: a cancel request
            // takes effect between pieces.
            if (cancelRequested()) throw IoError(kCancelled, "cancelled");
            std::size_t n = std::min(kPiece, bytes.size() - off);
            bool last = off + n == bytes.size();
            api_.ibeot(ud_, last ? 1 : 0);
            int sta = api_.ibwrt(ud_, bytes.data() + off, static_cast<long>(n));
            if (sta & kErr) throw failure("ibwrt", sta);
            long done = api_.ThreadIbcntl();
            if (done <= 0) throw IoError(kIoFailure, "ibwrt sent nothing");
            off += static_cast<std::size_t>(done);
        }
    }

    std::string readLine(Millis timeout) override {
        setTimeout(timeout);
        std::string reply;
        std::vector<char> buf(4096);
        for (;;) {
            if (cancelRequested()) throw IoError(kCancelled, "cancelled");
            int sta = api_.ibrd(ud_, buf.data(), static_cast<long>(buf.size()));
            if (sta & kErr) throw failure("ibrd", sta);
            long n = api_.ThreadIbcntl();
            reply.append(buf.data(), static_cast<std::size_t>(std::max(0L, n)));
            if ((sta & kEnd) || (!reply.empty() && reply.back() == '\n')) break;
            if (reply.size() > kMaxReplyBytes)
                throw IoError(kIoFailure,
                              "reply longer than " + std::to_string(kMaxReplyBytes) + " bytes");
        }
        while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
            reply.pop_back();
        return reply;
    }

    void goToLocal(Millis timeout) override {
        setTimeout(timeout);
        int sta = api_.ibloc(ud_);
        if (sta & kErr) throw failure("ibloc", sta);
    }

    std::string describe() const override { return description_; }

  private:
    void setTimeout(Millis t) {
        if (t != timeout_) {
            api_.ibtmo(ud_, timeoutCode(t));
            timeout_ = t;
        }
    }
    IoError failure(const char* what, int sta) const {
        int e = api_.ThreadIberr();
        if ((sta & kTimo) || e == 6)
            return IoError(kTimedOut, std::string(what) + ": no answer within " +
                                          std::to_string(timeout_.count()) + " ms (time-out)");
        return IoError(kIoFailure, std::string(what) + " failed: " + errText(e));
    }

    const GpibApi& api_;
    std::string description_;
    int ud_ = -1;
    Millis timeout_{0};
};

}  // namespace

std::string gpibLibraryStatus() {
    const GpibApi& a = api();
    return a.handle ? "GPIB library " + a.name : a.error;
}

std::unique_ptr<Transport> openGpib(int32_t board, int32_t primary, int32_t secondary,
                                    Millis timeout) {
    return std::make_unique<GpibTransport>(board, primary, secondary, timeout);
}

}  // namespace onex::mexio
