// The analysis of a frame: the displays' models and the measurements, each a
// function over a numpy waveform that releases the GIL while it computes.

#include <pybind11/numpy.h>

#include <pybind11/stl.h>

#include <cmath>
#include <complex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Analysis/Ccdf.h"
#include "Analysis/MeasurementReport.h"
#include "Analysis/Spectrum.h"
#include "Bindings.h"

namespace onex::python {
namespace {

using Wave = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>;

// A 1-D complex waveform (a real array is taken as complex).
std::span<const std::complex<double>> samples(const Wave& wave) {
    if (wave.ndim() != 1) throw py::value_error("wave: expected a 1-D array of samples");
    return {wave.data(), static_cast<std::size_t>(wave.size())};
}

py::array_t<double> toNumpy(std::vector<double>&& v) {
    auto* owned = new std::vector<double>(std::move(v));
    py::capsule free(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
    return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), free);
}

py::dict ccdf(const Wave& wave) {
    const auto x = samples(wave);
    analysis::CcdfModel m;
    {
        py::gil_scoped_release unlocked;
        m = analysis::ccdfModel(x);
    }
    py::dict d;
    d["x_db"] = toNumpy(std::move(m.X));
    d["percent"] = toNumpy(std::move(m.Y));
    d["reference_percent"] = toNumpy(std::move(m.Y1));
    d["max_x_db"] = m.maxX;
    d["y_min_percent"] = m.yMin;
    d["real"] = m.realWave;
    d["test_data"] = m.testData;
    return d;
}

py::dict spectrum(const Wave& wave, double sampleRate) {
    const auto x = samples(wave);
    analysis::SpectrumModel m;
    {
        py::gil_scoped_release unlocked;
        m = analysis::spectrumModel(x, sampleRate);
    }
    py::dict d;
    d["frequency"] = toNumpy(std::move(m.f));
    d["level_db"] = toNumpy(std::move(m.magSignal));
    d["units"] = m.fUnits;
    d["divider"] = m.divider;
    d["level_limits_db"] = py::make_tuple(m.mMin, m.mMax);
    d["frequency_limits"] = py::make_tuple(m.fMin, m.fMax);
    d["test_data"] = m.testData;
    return d;
}

// The measurement fields as nested dicts, named as `measure --json` names them
// (None where a figure is not available).
class DictBuilder final : public analysis::MeasurementFieldVisitor {
  public:
    // The walk opens the outermost object too (with no key).
    void beginObject(std::string_view key) override {
        py::dict d;
        if (!stack_.empty()) stack_.back()[py::str(std::string(key))] = d;
        stack_.push_back(d);
        if (!root_) root_ = d;
    }
    void endObject() override { stack_.pop_back(); }
    void number(std::string_view key, std::optional<double> value) override {
        stack_.back()[py::str(std::string(key))] = value && std::isfinite(*value)
                                                       ? py::object(py::float_(*value))
                                                       : py::object(py::none());
    }
    void boolean(std::string_view key, bool value) override {
        stack_.back()[py::str(std::string(key))] = py::bool_(value);
    }
    void text(std::string_view key, std::string_view value) override {
        stack_.back()[py::str(std::string(key))] = py::str(std::string(value));
    }
    py::dict result() const { return root_ ? *root_ : py::dict(); }

  private:
    std::vector<py::dict> stack_;
    std::optional<py::dict> root_;
};

py::dict measure(const FrameData& frame, std::optional<std::vector<double>> offsets,
                 std::optional<double> offsetBw, std::optional<double> channelBw) {
    analysis::MeasurementOptions options;
    if (offsets) options.acprOffsetsHz = *offsets;
    if (offsetBw) options.offsetBandwidthHz = *offsetBw;
    if (channelBw) options.channelBandwidthHz = *channelBw;
    analysis::Measurements m;
    {
        py::gil_scoped_release unlocked;
        analysis::validateMeasurementOptions(options);
        m = analysis::measureFrame(frame.result.waveform, frame.settings.SamplingRate,
                                   frame.parameters, options);
    }
    DictBuilder builder;
    analysis::visitMeasurementFields(m, builder);
    return builder.result();
}

}  // namespace

void bindAnalysis(py::module_& m) {
    m.def("ccdf", &ccdf, py::arg("wave"),
          "The CCDF display's numbers for a waveform (a 1-D array, real or complex): "
          "`x_db` (0 to max_x_db dB above the average power, 201 points), `percent` (the share "
          "of samples whose power reaches each level; 1e-300 where none does), "
          "`reference_percent` (Gaussian noise: exponential for a complex waveform, erfc for a "
          "real one), `max_x_db`, `y_min_percent` (the lower limit of the plot's log axis), "
          "`real`, and `test_data` (an empty waveform shows the 1000-sample test waveform).");
    m.def("spectrum", &spectrum, py::arg("wave"), py::arg("sample_rate"),
          "The spectrum display's numbers: one transform over the whole waveform, every bin at "
          "its true frequency (zero frequency in the middle). `frequency` in `units` (Hz, kHz, "
          "MHz or GHz; `divider` Hz per unit), `level_db` relative to the strongest bin, "
          "`level_limits_db` and `frequency_limits` (the plot's axes), `test_data` (an empty "
          "waveform shows the 10-point test spectrum).");
    m.def("measure", &measure, py::arg("frame"), py::arg("offsets") = py::none(),
          py::arg("offset_bw") = py::none(), py::arg("channel_bw") = py::none(),
          "Every measurement figure of the frame, as `onexrev-cli measure --json` gives them "
          "and with the same names: sample_rate, samples, average_power, peak_power, papr_db, "
          "ccdf_db (keyed \"10\", \"1\", \"0.1\", \"0.01\", \"0.001\" percent), obw_hz, "
          "acpr_dbc (keyed by the offset in Hz, e.g. \"-885000\"; None where the sample rate "
          "cannot reach it or the band has no power), rho, channels (pilot, rri, drc, ack, "
          "data: each active, configured_db, measured_db), not_available (the path of every "
          "None, e.g. \"acpr_dbc.-1980000\", with the reason). `offsets` (Hz), `offset_bw` and "
          "`channel_bw` (Hz) "
          "replace the ACPR defaults (-1.98e6, -885e3, 885e3, 1.98e6; 30e3; 1.23e6).");
}

}  // namespace onex::python
