#include "OneX/ParametersArray.h"

#include <fmt/format.h>

#include <cmath>
#include <string>

#include "OneX/ParameterFields.h"
#include "platform/Error.h"

namespace onex {

using platform::Array;

namespace {

[[noreturn]] void refuse(std::string_view field, std::string_view expected, const Array& found) {
    throw Error(fmt::format("{}: expected {}, found {}", field, expected, found.describe()));
}

bool isRealDouble(const Array& a) {
    return a.isDouble() && !a.isComplex();
}

double readScalar(const Array& a, std::string_view name) {
    if (!isRealDouble(a) || a.ndims() != 2 || !a.isScalar())
        refuse(name, "a real double scalar", a);
    return a.scalar();
}

std::vector<double> readRow(const Array& a, std::string_view name, bool emptyAllowed) {
    if (emptyAllowed && a.isEmpty() && a.ndims() == 2 && (a.isDouble() || a.isChar())) return {};
    if (!isRealDouble(a) || !a.isRow() || a.isEmpty())
        refuse(name, emptyAllowed ? "a row of doubles or []" : "a row of doubles", a);
    return a.toDoubleVector();
}

std::string readText(const Array& a, std::string_view name) {
    // '' and [] are both the empty text; a tool may store either.
    if (a.isEmpty() && a.ndims() == 2 && (a.isChar() || a.isDouble())) return {};
    if (!a.isChar() || !a.isRow()) refuse(name, "a char row", a);
    return a.toString();
}

const Array& fieldOf(const Array& s, std::string_view structName, std::string_view name) {
    if (!s.hasField(name))
        throw Error(structName.empty() ? fmt::format("{}: missing", name)
                                       : fmt::format("{}.{}: missing", structName, name));
    return s.field(name);
}

bool isNumberLike(const Array& a) {
    return a.isNumeric() || a.isLogical();
}

bool sameNumber(double x, double y) {
    return x == y || (std::isnan(x) && std::isnan(y));
}

}  // namespace

Array toArray(const Parameters& p) {
    const auto number = [](double v) { return Array(v); };
    const auto text = [](const std::string& s) { return Array::string(s); };
    const auto row = [](const std::vector<double>& v) { return Array::row(v); };
    const SlotParameters& s = p.slot;
    Array slot = Array::structure({
        {"ACKslotActive", row(s.ACKslotActive)},
        {"ACKslotValue", row(s.ACKslotValue)},
        {"DRCslotActive", row(s.DRCslotActive)},
        {"DRCslotValue", row(s.DRCslotValue)},
        {"DRCslotCover", row(s.DRCslotCover)},
    });
    return Array::structure({
        {"ParameterFileFormat_ID", text(p.ParameterFileFormat_ID)},
        {"RRIactive", number(p.RRIactive)},
        {"RRIvalue", number(p.RRIvalue)},
        {"DRCactive", number(p.DRCactive)},
        {"DRCrelGain", number(p.DRCrelGain)},
        {"ACKactive", number(p.ACKactive)},
        {"ACKrelGain", number(p.ACKrelGain)},
        {"DATAactive", number(p.DATAactive)},
        {"DATArelGain", number(p.DATArelGain)},
        {"EncoderActive", number(p.EncoderActive)},
        {"DataRate", number(p.DataRate)},
        {"DATASourceType", number(p.DATASourceType)},
        {"DATASourceName", text(p.DATASourceName)},
        // The platform's default for "no bits" is [], not a 1x0 row.
        {"dataSourceBitstream",
         p.dataSourceBitstream.empty() ? Array() : row(p.dataSourceBitstream)},
        {"IMask", number(p.IMask)},
        {"QMask", number(p.QMask)},
        {"slot", slot},
        {"OverSampling", number(p.OverSampling)},
        {"FilterType", number(p.FilterType)},
        {"MirrorSpectrum", number(p.MirrorSpectrum)},
        {"ProjectedLength", number(p.ProjectedLength)},
        {"LastPath", text(p.LastPath)},
        // -Inf and Inf ("off") are stored as the doubles they are.
        {"IQGainImbalance", number(p.IQGainImbalance)},
        {"QuadratureError", number(p.QuadratureError)},
        {"CarrierLeakage", number(p.CarrierLeakage)},
        {"FreqError", number(p.FreqError)},
        {"FreqErrorSnap", number(p.FreqErrorSnap)},
        {"CNRatio", number(p.CNRatio)},
        {"NoiseSeed", number(p.NoiseSeed)},
    });
}

void fromArray(const Array& a, Parameters& out) {
    if (!a.isStruct() || a.ndims() != 2 || !a.isScalar())
        refuse("parameter set", "a 1x1 struct", a);
    Parameters p;
    const auto field = [&](std::string_view name) -> const Array& { return fieldOf(a, "", name); };
    const auto number = [&](std::string_view name) { return readScalar(field(name), name); };
    const auto text = [&](std::string_view name) { return readText(field(name), name); };

    p.ParameterFileFormat_ID = text("ParameterFileFormat_ID");
    p.RRIactive = number("RRIactive");
    p.RRIvalue = number("RRIvalue");
    p.DRCactive = number("DRCactive");
    p.DRCrelGain = number("DRCrelGain");
    p.ACKactive = number("ACKactive");
    p.ACKrelGain = number("ACKrelGain");
    p.DATAactive = number("DATAactive");
    p.DATArelGain = number("DATArelGain");
    p.EncoderActive = number("EncoderActive");
    p.DataRate = number("DataRate");
    p.DATASourceType = number("DATASourceType");
    p.DATASourceName = text("DATASourceName");
    p.dataSourceBitstream = readRow(field("dataSourceBitstream"), "dataSourceBitstream", true);
    p.IMask = number("IMask");
    p.QMask = number("QMask");

    const Array& slot = field("slot");
    if (!slot.isStruct() || slot.ndims() != 2 || !slot.isScalar())
        refuse("slot", "a 1x1 struct", slot);
    const auto slotRow = [&](std::string_view name) {
        return readRow(fieldOf(slot, "slot", name), fmt::format("slot.{}", name), false);
    };
    p.slot.ACKslotActive = slotRow("ACKslotActive");
    p.slot.ACKslotValue = slotRow("ACKslotValue");
    p.slot.DRCslotActive = slotRow("DRCslotActive");
    p.slot.DRCslotValue = slotRow("DRCslotValue");
    p.slot.DRCslotCover = slotRow("DRCslotCover");

    p.OverSampling = number("OverSampling");
    p.FilterType = number("FilterType");
    p.MirrorSpectrum = number("MirrorSpectrum");
    p.ProjectedLength = number("ProjectedLength");
    p.LastPath = text("LastPath");
    // Files written before the impairments existed lack them: off.
    const auto optionalNumber = [&](std::string_view name, double& value) {
        if (a.hasField(name)) value = readScalar(a.field(name), name);
    };
    optionalNumber("IQGainImbalance", p.IQGainImbalance);
    optionalNumber("QuadratureError", p.QuadratureError);
    optionalNumber("CarrierLeakage", p.CarrierLeakage);
    optionalNumber("FreqError", p.FreqError);
    optionalNumber("FreqErrorSnap", p.FreqErrorSnap);
    optionalNumber("CNRatio", p.CNRatio);
    optionalNumber("NoiseSeed", p.NoiseSeed);

    // Values the windows could never store would only fail later, in the
    // calculation or the instrument.
    if (auto err = checkParameterSet(p)) throw Error(*err);
    out = std::move(p);
}

bool compareStruct(const Array& a, const Array& b) {
    if (a.isEmpty() && b.isEmpty()) return true;
    if (a.isEmpty() != b.isEmpty()) return false;
    if (a.isStruct() || b.isStruct()) {
        if (!a.isStruct() || !b.isStruct() || a.dims() != b.dims() ||
            a.fieldNames() != b.fieldNames())
            return false;
        for (std::size_t e = 0; e < a.numel(); ++e)
            for (const auto& name : a.fieldNames())
                if (!compareStruct(a.field(name, e), b.field(name, e))) return false;
        return true;
    }
    if (a.isChar() || b.isChar()) return a.isChar() && b.isChar() && a == b;
    if (a.isCell() || b.isCell()) {
        if (!a.isCell() || !b.isCell() || a.dims() != b.dims()) return false;
        for (std::size_t i = 0; i < a.numel(); ++i)
            if (!compareStruct(a.cell(i), b.cell(i))) return false;
        return true;
    }
    if (!isNumberLike(a) || !isNumberLike(b) || a.dims() != b.dims()) return false;
    for (std::size_t i = 0; i < a.numel(); ++i)
        if (!sameNumber(a.realAt(i), b.realAt(i)) || !sameNumber(a.imagAt(i), b.imagAt(i)))
            return false;
    return true;
}

bool compareStruct(const Parameters& a, const Parameters& b) {
    return compareStruct(toArray(a), toArray(b));
}

}  // namespace onex
