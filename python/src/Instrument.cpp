// onexrev.Instrument (a signal generator reached over LAN, RS-232 or GPIB)
// and onexrev.scpi_download_block (the bytes of a download, for scripts that
// keep their own connection).

#include <fmt/format.h>
#include <pybind11/stl.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Bindings.h"
#include "Instrument/Corrections.h"
#include "Instrument/DownloadCommand.h"
#include "MexIO/Cancel.h"
#include "MexIO/ConnectionAddress.h"
#include "MexIO/HwIO.h"
#include "MexIO/WaveformEncoding.h"
#include "PathArg.h"
#include "platform/HeadlessDialogs.h"

namespace onex::python {
namespace {

// The one question of a download (an RS-232 transfer estimated at more than
// 0.75 minutes) is answered from the caller's `confirm`; nothing else asks.
// Runs without the GIL: plain C++ only.
using ScriptDialogs = platform::HeadlessDialogs;

// Use after close(); raised as ValueError, as Python's files do.
struct ClosedInstrument : std::runtime_error {
    ClosedInstrument() : std::runtime_error("the instrument connection is closed") {}
};

MarkerValues markerValues(const FrameData& f) {
    return {f.result.marker1, f.result.marker2};
}

std::string checkedPlatform(const std::string& platform) {
    if (platform != "b" && platform != "c")
        throw py::value_error(fmt::format("platform: \"{}\" is not b or c", platform));
    return platform;
}

// Runs op (plain C++, no Python) on a worker thread while this thread, without
// the GIL, looks for pending Python signals every 50 ms. Ctrl+C (or any signal
// handler that raises) cancels op through its cancel scope, which closes the
// connection at once; the exception is raised when op has ended, so nothing
// keeps running behind the script's back.
template <class Operation>
auto interruptible(Operation op) -> decltype(op()) {
    using Result = decltype(op());
    std::stop_source stop;
    std::packaged_task<Result()> task([&] {
        const CancelScope scope(stop.get_token());
        return op();
    });
    std::future<Result> done = task.get_future();
    std::thread worker(std::move(task));
    std::optional<py::error_already_set> interrupted;
    for (;;) {
        bool ended = false;
        {
            py::gil_scoped_release unlocked;
            ended = done.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready;
        }
        if (ended) break;
        if (!interrupted && PyErr_CheckSignals() != 0) {
            interrupted.emplace();  // takes the pending exception
            stop.request_stop();
        }
    }
    worker.join();
    if (interrupted) throw *interrupted;  // op's own outcome no longer matters
    return done.get();
}

py::list stepList(const CommandOutcome& o) {
    py::list steps;
    for (const CommandStep& s : o.steps)
        steps.append(py::make_tuple(s.routine, s.result.status, s.result.response));
    return steps;
}

class Instrument {
  private:
    // op, run on this object's own connection with its time-out, one
    // operation of the object at a time (plain C++: runs without the GIL,
    // on the thread that runs it).
    template <class Operation>
    auto onConnection(Operation op) {
        return [this, op] {
            std::lock_guard lock(mutex_);
            if (closed_) throw ClosedInstrument();
            const HwConnectionScope scope(connections_);
            // Set before every operation (it costs no instrument traffic):
            // an operation of its own, such as a download, may set another.
            if (timeout_) hwSetTimeout(config_, *timeout_);
            return op();
        };
    }

    template <class Operation>
    Status run(Operation op) {
        const Status s = interruptible(onConnection(op));
        if (s.status != 0) raiseInstrumentError(s);
        return s;
    }

  public:
    Instrument(const std::string& address, std::optional<long> baudrate,
               std::optional<std::string> handshake, std::optional<double> timeout)
        : address_(address), timeout_(timeout) {
        if (timeout && !(*timeout > 0))
            throw py::value_error("timeout: expected a positive number of milliseconds");
        std::string why;
        auto config = instrumentAddress(address, why, baudrate ? std::to_string(*baudrate) : "",
                                        handshake.value_or(""));
        if (!config) throw py::value_error(fmt::format("address {}: {}", address, why));
        config_ = std::move(*config);
    }

    const std::string& address() const { return address_; }

    std::string identify() { return query("*IDN?"); }

    std::string query(const std::string& text) {
        return run([&] { return hwQuery(config_, text); }).response;
    }

    void write(const std::string& text) {
        run([&] { return hwSend(config_, text); });
    }

    py::dict download(const FrameData& frame, const SigGenSettings* settings,
                      const std::string& platform, py::handle corrections, bool confirm) {
        const std::string which = checkedPlatform(platform);
        // A copy: another thread may change the settings while the GIL is released.
        const SigGenSettings s = settings ? *settings : frame.settings;
        const std::filesystem::path folder =
            scriptCorrectionFolder(corrections.is_none() ? std::string() : pathArg(corrections));
        ScriptDialogs dialogs(confirm, nullptr, nullptr);
        const CommandOutcome o = interruptible(onConnection([&] {
            return runDownloadCommand(frame.result.waveform, markerValues(frame).rows(), s, config_,
                                      which, dialogs, folder, {}, timeout_);
        }));
        if (o.status != 0) {
            std::string text = o.text;
            if (!dialogs.question().empty())
                text += " (" + dialogs.question() + " Pass confirm=True to go ahead.)";
            raiseInstrumentError({o.status, text});
        }
        py::dict out;
        out["correction_file"] = o.correctionFile.string();
        out["correction_status"] = o.correctionStatus;
        out["rf_corrections"] = o.rfChannelCorrections;
        out["iq_corrections"] = o.iqCorrections;
        out["correction_failures"] = o.correctionFailures;
        out["steps"] = stepList(o);
        return out;
    }

    void play(const SigGenSettings& given, const std::string& platform) {
        const std::string which = checkedPlatform(platform);
        const SigGenSettings settings = given;
        const CommandOutcome o = interruptible(
            onConnection([&] { return runRefreshCommand(settings, config_, which); }));
        if (o.status != 0) raiseInstrumentError({o.status, o.text});
    }

    void close() {
        py::gil_scoped_release unlocked;
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
        connections_.closeAll();
    }

  private:
    std::string address_;
    std::optional<double> timeout_;
    IoConfig config_;
    // The object's own connection: other objects (another instrument of the
    // same bench) and the process's shared connection are not touched by it.
    HwConnections connections_;
    std::mutex mutex_;
    bool closed_ = false;
};

}  // namespace

void bindInstrument(py::module_& m) {
    py::register_local_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ClosedInstrument& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    py::class_<Instrument>(
        m, "Instrument",
        "A TARN-family signal generator. Every operation runs without the GIL and raises "
        "onexrev.InstrumentError with the instrument layer's text (the instrument's own "
        "error text when it refused something). Ctrl+C cancels a running operation: the "
        "connection is closed and KeyboardInterrupt is raised. Each object has a connection of "
        "its own: it opens on first use and stays open until close() or the end of a with "
        "block, whatever other Instrument objects do, and objects for different instruments may "
        "be used from different threads at the same time.")
        .def(py::init<const std::string&, std::optional<long>, std::optional<std::string>,
                      std::optional<double>>(),
             py::arg("address"), py::kw_only(), py::arg("baudrate") = py::none(),
             py::arg("handshake") = py::none(), py::arg("timeout") = py::none(),
             "address: 'host' or 'host:port' (SCPI raw socket, port 5025 by default), "
             "'TCPIP0::host::port::SOCKET', 'TCPIP0::host[::inst0]::INSTR' (VXI-11), "
             "'ASRL1::INSTR' or 'ASRL/dev/ttyUSB0::INSTR' (RS-232; baudrate 19200 and "
             "handshake 'Xon/Xoff' unless given: 'None', 'Xon/Xoff' or 'RTS/CTS'), "
             "'GPIB0::19::INSTR' (board 0, primary address 19, optional secondary). timeout: "
             "milliseconds for each wait of every operation of this object, downloads "
             "included (default: 5000, and 10000 in a download). A malformed address raises "
             "ValueError.")
        .def_property_readonly("address", &Instrument::address, "The address as given.")
        .def("identify", &Instrument::identify, "The instrument's reply to *IDN?.")
        .def("query", &Instrument::query, py::arg("text"),
             "Sends one query line and returns the reply line.")
        .def("write", &Instrument::write, py::arg("text"), "Sends one command line.")
        .def("download", &Instrument::download, py::arg("frame"), py::arg("settings") = py::none(),
             py::kw_only(), py::arg("platform") = "b", py::arg("corrections") = py::none(),
             py::arg("confirm") = false,
             "Downloads the frame as the Download command does: corrects it with the "
             "instrument's correction file if one exists (folder `corrections`, else "
             "$ONEXREV_CORRECTIONS_DIR, else the per-user folder), stores it under "
             "settings.Title and plays it with the settings (TARNPlay, or TARNPlay_c for "
             "platform 'c'). settings defaults to the frame's. Over RS-232 a transfer estimated "
             "at more than 0.75 minutes needs confirm=True. Returns what the correction step "
             "did and each step's (routine, status, text).")
        .def("play", &Instrument::play, py::arg("settings"), py::kw_only(),
             py::arg("platform") = "b",
             "Sends the settings and plays the waveform stored under settings.Title (the "
             "Refresh command; nothing is downloaded).")
        .def("close", &Instrument::close,
             "Closes the connection; the object cannot be used afterwards.")
        .def(
            "__enter__", [](py::object self) { return self; }, "The instrument itself.")
        .def(
            "__exit__",
            [](Instrument& i, py::handle, py::handle, py::handle) {
                i.close();
                return false;
            },
            "Closes the connection.")
        .def("__repr__",
             [](const Instrument& i) { return fmt::format("Instrument('{}')", i.address()); });

    m.def(
        "scpi_download_block",
        [](const FrameData& frame, const std::string& name) {
            const auto& wave = frame.result.waveform;
            const MarkerValues values = markerValues(frame);
            const MarkerRows markers = values.rows();
            if (auto why = mexio::checkDownload(wave, markers, name)) throw py::value_error(*why);
            std::vector<std::uint8_t> bytes;
            {
                py::gil_scoped_release unlocked;
                bytes = mexio::waveformMessage(wave, name);
                const auto marker = mexio::markerMessage(markers, wave.size(), name);
                bytes.insert(bytes.end(), marker.begin(), marker.end());
            }
            return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        },
        py::arg("frame"), py::arg("name"),
        "The exact bytes a download sends to store the frame under `name`: the waveform "
        "command with its block, then the marker command with its block, each ending in a line "
        "feed. With your own connection (e.g. PyVISA's write_raw) they store the same "
        "waveform as Instrument.download, without corrections; send *CLS before and check "
        "*OPC? and :SYSTem:ERRor? after as you see fit. A name the instrument cannot take "
        "raises ValueError.");
}

}  // namespace onex::python
