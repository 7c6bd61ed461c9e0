// onexrev.Parameters and onexrev.SigGenSettings: every field an attribute,
// checked on assignment against the same table the command line uses.

#include <fmt/format.h>
#include <pybind11/numpy.h>

#include <cmath>
#include <deque>
#include <filesystem>

#include "Bindings.h"
#include "Instrument/ParameterFiles.h"
#include "OneX/ParameterFields.h"
#include "PathArg.h"

namespace onex::python {

std::shared_ptr<ParameterSet> ParameterSet::copy() const {
    auto out = std::make_shared<ParameterSet>();
    out->parameters = parameters;
    *out->settings = *settings;
    return out;
}

namespace {

constexpr std::string_view kSlotPrefix = "slot.";

// Docstrings live as long as the module (pybind11 keeps the pointers).
const char* keep(std::string text) {
    static std::deque<std::string> texts;
    return texts.emplace_back(std::move(text)).c_str();
}

// A copy the caller cannot change in place, so that `p.slot.ACKslotValue[3] =
// 1` fails loudly instead of changing a copy nobody sees.
py::array readOnlyRow(const std::vector<double>& v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    a.attr("setflags")(py::arg("write") = false);
    return a;
}

py::object number(double v, bool whole) {
    if (whole && std::isfinite(v) && v == std::floor(v) && std::abs(v) < 0x1p53)
        return py::int_(static_cast<long long>(v));
    return py::float_(v);
}

[[noreturn]] void refuse(const std::string& text) {
    throw py::value_error(text);
}

std::string expected(std::string_view name, const std::string& range) {
    return fmt::format("{}: expected {}", name, range);
}

double numberFrom(py::handle value, std::string_view name, const std::string& range) {
    try {
        return py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
    } catch (const py::error_already_set&) {
        refuse(expected(name, range));
    }
}

std::vector<double> rowFrom(py::handle value, std::string_view name, const std::string& range) {
    using Row = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Row row = Row::ensure(value);
    if (!row || row.ndim() != 1) {
        PyErr_Clear();
        refuse(expected(name, range) + " as a 1-D sequence of numbers");
    }
    return {row.data(), row.data() + row.size()};
}

py::object fieldValue(const Parameters& p, const ParameterField& f) {
    ParameterValue v = getParameterField(p, f);
    if (auto* text = std::get_if<std::string>(&v)) return py::str(*text);
    if (auto* row = std::get_if<std::vector<double>>(&v)) return readOnlyRow(*row);
    return number(std::get<double>(v), f.kind != FieldKind::Real);
}

// Text goes through the command line's parser (so "3FF" is a mask and
// "A,B,C,..." a DRC row); numbers and sequences are checked as they are.
void storeField(ParameterSet& set, const ParameterField& f, py::handle value) {
    Parameters& p = set.parameters;
    const std::string range = describeFieldRange(f);
    std::optional<std::string> error;
    if (py::isinstance<py::str>(value)) {
        auto text = value.cast<std::string>();
        error = f.kind == FieldKind::Text ? assignParameterField(p, f, std::move(text))
                                          : setParameterField(p, f, text);
    } else if (f.kind == FieldKind::Bits || f.kind == FieldKind::SlotVector) {
        error = assignParameterField(p, f, rowFrom(value, f.name, range));
    } else {
        error = assignParameterField(p, f, numberFrom(value, f.name, range));
    }
    if (error) refuse(*error);
    // As in the main window: the oversampling sets the sample clock.
    if (f.name == "OverSampling") set.settings->SamplingRate = chipSamplingRate(p.OverSampling);
}

const ParameterField& parameterField(std::string_view name) {
    const ParameterField* f = findParameterField(name);
    if (!f || name.starts_with(kSlotPrefix)) throw py::type_error(fmt::format("no field {}", name));
    return *f;
}

py::object settingValue(const SigGenSettings& s, const SigGenField& f) {
    if (f.kind == SigGenFieldKind::Title) return py::str(s.Title);
    auto v = getSigGenNumber(s, f);
    if (!v) return py::none();
    return number(*v, f.kind != SigGenFieldKind::Real);
}

void storeSetting(SigGenSettings& s, const SigGenField& f, py::handle value) {
    std::optional<std::string> error;
    if (py::isinstance<py::str>(value))
        error = setSigGenField(s, f, value.cast<std::string>());
    else if (value.is_none())
        error = assignSigGenNumber(s, f, std::nullopt);
    else if (f.kind == SigGenFieldKind::Title)
        error = expected("SigGen.Title", describeSigGenFieldRange(f));
    else
        error = assignSigGenNumber(
            s, f, numberFrom(value, "SigGen." + std::string(f.name), describeSigGenFieldRange(f)));
    if (error) refuse(*error);
}

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

std::string shownSetting(const SigGenSettings& s, const SigGenField& f) {
    auto text = formatSigGenField(s, f);
    if (!text) return "None";
    return f.kind == SigGenFieldKind::Title ? "'" + *text + "'" : *text;
}

// The fields that differ from the defaults (the settings compared with the
// defaults for the set's own oversampling).
std::string parametersRepr(const ParameterSet& set) {
    const Parameters defaults = InitializeParameters();
    std::vector<std::string> items;
    for (const ParameterField& f : parameterFields()) {
        std::string value = formatParameterField(set.parameters, f);
        if (value == formatParameterField(defaults, f)) continue;
        if (f.kind == FieldKind::Text) value = "'" + value + "'";
        if (f.kind == FieldKind::Mask) value = "0x" + value;
        items.push_back(fmt::format("{}={}", f.name, value));
    }
    const SigGenSettings settingDefaults = InitializeSigGenSettings(set.parameters.OverSampling);
    for (const SigGenField& f : sigGenFields())
        if (formatSigGenField(*set.settings, f) != formatSigGenField(settingDefaults, f))
            items.push_back(fmt::format("siggen.{}={}", f.name, shownSetting(*set.settings, f)));
    return "Parameters(" + join(items) + ")";
}

struct SlotView {
    std::shared_ptr<ParameterSet> set;
};

void bindSigGenSettings(py::module_& m) {
    auto cls = py::class_<SigGenSettings, std::shared_ptr<SigGenSettings>>(
        m, "SigGenSettings",
        "How the signal generator plays the waveform: carrier, power, sample clock, filters, "
        "markers and the waveform's name in the instrument. Each field is checked on "
        "assignment (ValueError naming the field and its range); the platform \"c\" fields "
        "BBfilter, Scaling, ModAtten and ALC are None unless set.");
    cls.def(py::init([](double oversampling, py::kwargs fields) {
                auto s = std::make_shared<SigGenSettings>(InitializeSigGenSettings(oversampling));
                for (auto [key, value] : fields) {
                    const SigGenField* f = findSigGenField(key.cast<std::string>());
                    if (!f)
                        throw py::type_error(
                            fmt::format("SigGenSettings has no field {}", key.cast<std::string>()));
                    storeSetting(*s, *f, value);
                }
                return s;
            }),
            py::arg("oversampling") = 5,
            "The defaults (\"OneX-Rev\", 2.2 GHz, -30 dBm, sample clock 1228800 x oversampling, "
            "reconstruction filter 2, ...), then the given fields, e.g. "
            "SigGenSettings(Frequency=1.9e9, Amplitude=-10).");
    for (const SigGenField& f : sigGenFields()) {
        const SigGenField* field = &f;
        cls.def_property(
            std::string(f.name).c_str(),
            [field](const SigGenSettings& s) { return settingValue(s, *field); },
            [field](SigGenSettings& s, py::handle value) { storeSetting(s, *field, value); },
            keep(fmt::format("{}{}.", describeSigGenFieldRange(f),
                             f.optional ? ", or None (platform \"c\" only)" : "")));
    }
    cls.def(
        "__repr__",
        [](const SigGenSettings& s) {
            std::vector<std::string> items;
            for (const SigGenField& f : sigGenFields())
                if (formatSigGenField(s, f))
                    items.push_back(fmt::format("{}={}", f.name, shownSetting(s, f)));
            return "SigGenSettings(" + join(items) + ")";
        },
        "Every field that is set.");
    cls.def(
        "__eq__",
        [](const SigGenSettings& a, py::handle b) {
            return py::isinstance<SigGenSettings>(b) && a == b.cast<const SigGenSettings&>();
        },
        "Field-by-field equality.");
    cls.def(
        "copy", [](const SigGenSettings& s) { return std::make_shared<SigGenSettings>(s); },
        "An independent copy.");
    cls.def(
        "__copy__", [](const SigGenSettings& s) { return std::make_shared<SigGenSettings>(s); },
        "copy.copy(): an independent copy.");
    cls.def(
        "__deepcopy__",
        [](const SigGenSettings& s, py::handle) { return std::make_shared<SigGenSettings>(s); },
        "copy.deepcopy(): an independent copy.");
    cls.attr("__hash__") = py::none();
}

void bindSlot(py::module_& m) {
    auto cls = py::class_<SlotView>(
        m, "SlotParameters",
        "The per-slot ACK and DRC content of a parameter set (a live view: assignments change "
        "the set). Each row is a read-only numpy array; assign a whole row to change it. The "
        "DRC rows have 17 entries: the 17th is the last slot of the previous frame.");
    for (const ParameterField& f : parameterFields()) {
        if (!f.name.starts_with(kSlotPrefix)) continue;
        const ParameterField* field = &f;
        cls.def_property(
            std::string(f.name.substr(kSlotPrefix.size())).c_str(),
            [field](const SlotView& v) { return fieldValue(v.set->parameters, *field); },
            [field](SlotView& v, py::handle value) { storeField(*v.set, *field, value); },
            keep(describeFieldRange(f) + "."));
    }
    cls.def(
        "__repr__",
        [](const SlotView& v) {
            std::vector<std::string> items;
            for (const ParameterField& f : parameterFields())
                if (f.name.starts_with(kSlotPrefix))
                    items.push_back(fmt::format("{}={}", f.name.substr(kSlotPrefix.size()),
                                                formatParameterField(v.set->parameters, f)));
            return "SlotParameters(" + join(items) + ")";
        },
        "Every row.");
}

}  // namespace

void bindParameters(py::module_& m) {
    bindSigGenSettings(m);
    bindSlot(m);
    auto cls = py::class_<ParameterSet, std::shared_ptr<ParameterSet>>(
        m, "Parameters",
        "A parameter set of one frame, with the signal-generator settings stored with it "
        "(`siggen`). Every field is an attribute named as in parameter files and checked on "
        "assignment against the windows' ranges: a value out of range raises ValueError naming "
        "the field and its range, and leaves the set unchanged. Text is parsed as the command "
        "line's --set does (masks and DRC values in hexadecimal). Setting OverSampling also "
        "sets siggen.SamplingRate to 1228800 x OverSampling, as the main window does.");
    cls.def(py::init([](py::kwargs fields) {
                auto set = std::make_shared<ParameterSet>();
                for (auto [key, value] : fields)
                    storeField(*set, parameterField(key.cast<std::string>()), value);
                return set;
            }),
            "The default parameter set (InitializeParameters) and settings, then the given "
            "fields in order, e.g. Parameters(DRCactive=1, DRCrelGain=3).");
    for (const ParameterField& f : parameterFields()) {
        if (f.name.starts_with(kSlotPrefix)) continue;
        const ParameterField* field = &f;
        auto get = [field](const ParameterSet& s) { return fieldValue(s.parameters, *field); };
        cls.def_property(
            std::string(f.name).c_str(), get,
            [field](ParameterSet& s, py::handle value) { storeField(s, *field, value); },
            keep(describeFieldRange(f) + "."));
    }
    cls.def_property(
        "slot", [](const std::shared_ptr<ParameterSet>& s) { return SlotView{s}; },
        [](ParameterSet& s, const SlotView& other) {
            s.parameters.slot = other.set->parameters.slot;
        },
        "The per-slot vectors (SlotParameters, a live view). Assigning another set's slot "
        "copies its rows.");
    cls.def_property(
        "siggen", [](const ParameterSet& s) { return s.settings; },
        [](ParameterSet& s, const SigGenSettings& other) { *s.settings = other; },
        "The signal-generator settings of this set (a live view; assigning copies).");
    cls.def_static(
        "load",
        [](py::handle path) {
            const std::string file = pathArg(path);
            auto set = std::make_shared<ParameterSet>();
            FileResult r;
            {
                py::gil_scoped_release unlocked;
                r = loadParameters(file, set->parameters, *set->settings);
            }
            if (!r.ok) throw Error(failureText(r));
            return set;
        },
        py::arg("path"),
        "Reads a parameter file (a MAT-file as File/Save and `onexrev-cli params` write) by "
        "its content. Its settings come along; a file without them gives the default "
        "settings. Raises onexrev.Error with the reason when the file is refused.");
    cls.def(
        "save",
        [](const ParameterSet& s, py::handle path) {
            // As File/Save: ".mat" unless the name ends in it; the file
            // records its full path.
            const std::filesystem::path file =
                std::filesystem::absolute(addFileExtention(pathArg(path), kParameterFileExtension));
            // Copies: another thread may change the set while the GIL is released.
            const Parameters parameters = s.parameters;
            const SigGenSettings settings = *s.settings;
            FileResult r;
            {
                py::gil_scoped_release unlocked;
                r = saveParameters(file, parameters, settings);
            }
            if (!r.ok) throw Error(failureText(r));
            return file.string();
        },
        py::arg("path"),
        "Writes the set and its settings as a parameter file (\".mat\" is added unless the "
        "name ends in it; an existing file is replaced only once the new one is complete). "
        "Returns the full path written.");
    cls.def("__repr__", &parametersRepr, "The fields that differ from the defaults.");
    cls.def(
        "__eq__",
        [](const ParameterSet& a, py::handle b) {
            if (!py::isinstance<ParameterSet>(b)) return false;
            const auto& other = b.cast<const ParameterSet&>();
            return a.parameters == other.parameters && *a.settings == *other.settings;
        },
        "Field-by-field equality of the set and its settings.");
    cls.attr("__hash__") = py::none();
    cls.def("copy", &ParameterSet::copy, "An independent copy (settings included).");
    cls.def("__copy__", &ParameterSet::copy, "copy.copy(): an independent copy.");
    cls.def(
        "__deepcopy__", [](const ParameterSet& s, py::handle) { return s.copy(); },
        "copy.deepcopy(): an independent copy.");
}

}  // namespace onex::python
