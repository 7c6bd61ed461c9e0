// onexrev.calculate and onexrev.Frame: the computed waveform as numpy arrays
// over the calculation's own memory, and its files.

#include <fmt/format.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <chrono>
#include <complex>

#include "Bindings.h"
#include "Instrument/WaveformFiles.h"
#include "PathArg.h"

namespace onex::python {

const std::uint8_t* FrameData::markers() {
    const std::size_t n = result.waveform.size();
    if (result.marker1.size() == n && result.marker2.size() == n &&
        result.marker1.data() + n == result.marker2.data())
        return result.marker1.data();
    if (!markerBytes) {
        std::vector<std::uint8_t> bytes(2 * n);
        for (std::size_t i = 0; i < n && i < result.marker1.size(); ++i)
            bytes[i] = result.marker1[i] != 0;
        for (std::size_t i = 0; i < n && i < result.marker2.size(); ++i)
            bytes[n + i] = result.marker2[i] != 0;
        markerBytes = std::move(bytes);
    }
    return markerBytes->data();
}

namespace {

// A read-only array over memory owned by `owner`, which it keeps alive.
template <class T>
py::array view(const T* data, std::vector<py::ssize_t> shape, py::handle owner) {
    py::array a(py::dtype::of<T>(), std::move(shape), {}, data, owner);
    a.attr("setflags")(py::arg("write") = false);
    return a;
}

std::shared_ptr<FrameData> calculateFrame(const ParameterSet& set) {
    auto frame = std::make_shared<FrameData>();
    frame->parameters = set.parameters;
    frame->settings = *set.settings;
    py::gil_scoped_release unlocked;
    frame->result = Calculate(frame->parameters, frame->settings.SamplingRate);
    return frame;
}

}  // namespace

void bindFrame(py::module_& m) {
    auto cls = py::class_<FrameData, std::shared_ptr<FrameData>>(
        m, "Frame",
        "One computed frame: the waveform, its markers, and the parameter set and settings it "
        "was computed from. Immutable: `wave` and `markers` are read-only views of the "
        "frame's memory (copy them to change them).");
    cls.def_property_readonly(
        "wave",
        [](py::object self) {
            const auto& w = self.cast<FrameData&>().result.waveform;
            return view(w.data(), {static_cast<py::ssize_t>(w.size())}, self);
        },
        "The complex baseband waveform: numpy complex128, 32768 x OverSampling samples, "
        "read-only and not copied.");
    cls.def_property_readonly(
        "markers",
        [](py::object self) {
            auto& frame = self.cast<FrameData&>();
            return view(frame.markers(),
                        {2, static_cast<py::ssize_t>(frame.result.waveform.size())}, self);
        },
        "The markers as numpy uint8, 2 x N of 0/1: row 0 the half-slot pulses (marker 1), row "
        "1 the ACK half-slots (marker 2). Read-only.");
    cls.def_property_readonly(
        "sample_rate", [](const FrameData& f) { return f.settings.SamplingRate; },
        "The sample clock in Hz (the settings' SamplingRate, 1228800 x OverSampling unless "
        "set otherwise), as the command line writes it to files.");
    cls.def_property_readonly(
        "parameters",
        [](const FrameData& f) {
            auto set = std::make_shared<ParameterSet>();
            set->parameters = f.parameters;
            *set->settings = f.settings;
            return set;
        },
        "A copy of the parameter set (with its settings) the frame was computed from.");
    cls.def_property_readonly(
        "settings", [](const FrameData& f) { return std::make_shared<SigGenSettings>(f.settings); },
        "A copy of the signal-generator settings the frame was computed with.");
    cls.def(
        "__len__", [](const FrameData& f) { return f.result.waveform.size(); },
        "The number of samples.");
    cls.def(
        "__repr__",
        [](const FrameData& f) {
            return fmt::format("Frame({} samples at {:.0f} Sa/s)", f.result.waveform.size(),
                               f.settings.SamplingRate);
        },
        "Length and sample clock.");
    cls.def(
        "save",
        [](const FrameData& f, py::handle path, std::optional<double> scale) {
            const std::string file = pathArg(path);
            const auto kind = waveformFileKind(file);
            if (!kind)
                throw py::value_error(
                    fmt::format("{}: unknown file kind (use {})", file, kWaveformFileExtensions));
            if (scale && *kind != WaveformFileKind::Halberd)
                throw py::value_error("scale: only for .bin files");
            if (scale && !(*scale >= 1e-5 && *scale <= 1))
                throw py::value_error("scale: expected a number from 1e-05 to 1");
            FrameFileResult r;
            {
                py::gil_scoped_release unlocked;
                r = saveFrameFile(file, f.result, f.parameters, f.settings, scale.value_or(1));
            }
            if (!r.result.ok) throw Error(failureText(r.result));
            return r.written;
        },
        py::arg("path"), py::arg("scale") = py::none(),
        "Writes the frame as the command line's `calculate --out` does, by extension: .mat "
        "(wave N x 2, markers 2 x N, sampleRate, samplePoints), .bin (the instrument's raw "
        "big-endian 16-bit I/Q; the largest component becomes 32766 x scale, scale 1e-5 to 1, "
        "default 1), .sigmf-data or .sigmf-meta (a SigMF recording, both files). Returns what "
        "was written.");

    m.def(
        "calculate", [](const ParameterSet& p) { return calculateFrame(p); }, py::arg("params"),
        "Computes one frame from the parameter set (the Calculate button), with the set's "
        "impairments for the sample clock params.siggen.SamplingRate. The calculation runs "
        "without the GIL. Raises onexrev.Error with the library's text when the set cannot be "
        "calculated.");
    m.def(
        "_native_calculate_seconds",
        [](const ParameterSet& set) {
            const Parameters p = set.parameters;
            const double rate = set.settings->SamplingRate;
            py::gil_scoped_release unlocked;
            const auto start = std::chrono::steady_clock::now();
            const FrameResult r = Calculate(p, rate);
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        },
        py::arg("params"),
        "For benchmarks: the time in seconds of the calculation alone, measured in C++ (what "
        "calculate() costs without the Python side).");
}

}  // namespace onex::python
