#include "Instrument/CorrectionFile.h"

#include <initializer_list>

#include "Instrument/FileLimits.h"

namespace onex {

using platform::Array;

namespace {

constexpr const char* kInvalid = "Invalid data structure.";

bool has(const Array& r, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (!r.hasField(n)) return false;
    return true;
}

bool isNumericVector(const Array& a) {
    return a.isNumeric() && a.ndims() == 2 && (a.isVector() || a.isEmpty());
}

std::vector<std::complex<double>> complexValues(const Array& a) {
    std::vector<std::complex<double>> out(a.numel());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = {a.realAt(i), a.imagAt(i)};
    return out;
}

// One record checked as the file format requires; false when it is unusable.
bool readRecord(const Array& r, CorrectionRecord& out) {
    if (!r.hasField("rev")) return false;
    const Array& rev = r.field("rev");
    if (!rev.isNumeric() || rev.isComplex() || rev.numel() != 1) return false;
    const double v = rev.realAt(0);
    if (v == 3) {
        if (!has(r, {"t1", "t2", "t3", "fbc", "bc", "cbc", "image", "rfChannel"})) return false;
    } else if (v == 2) {
        if (!has(r, {"rfChannel"})) return false;
    } else if (v != 1) {
        return false;
    }
    if (!has(r, {"rev", "F", "H", "ID", "date", "fltr", "modAttn", "cf", "bw", "pwr"}))
        return false;

    const Array& F = r.field("F");
    const Array& H = r.field("H");
    if (!isNumericVector(F) || F.isComplex() || !isNumericVector(H)) return false;
    out.rev = v;
    out.F.resize(F.numel());
    for (std::size_t i = 0; i < out.F.size(); ++i)
        out.F[i] = F.realAt(i);
    out.H = complexValues(H);
    // rev 1 may carry an rfChannel too; it is never used then, so it is
    // neither required nor checked.
    out.hasRfChannel = v > 1;
    if (out.hasRfChannel) {
        const Array& rf = r.field("rfChannel");
        if (!isNumericVector(rf)) return false;
        out.rfChannel = complexValues(rf);
    }
    out.record = r;
    return true;
}

}  // namespace

CorrectionData parseCorrectionData(const platform::MatVariables& variables) {
    CorrectionData d;
    if (variables.empty()) {
        d.status = "File empty or not found.";
        return d;
    }
    const Array* x = nullptr;
    for (auto it = variables.rbegin(); it != variables.rend() && !x; ++it)
        if (it->name == "TarnIqCorrectionData") x = &it->value;
    // Without the variable the record checks fail too, and their status is
    // the one reported.
    if (!x || !x->isStruct() || x->isEmpty()) {
        if (x) d.x = *x;
        d.status = kInvalid;
        return d;
    }
    d.x = *x;
    // Record by record: an array's size says nothing about its content (a
    // struct array without fields may claim billions of elements).
    std::vector<CorrectionRecord> records;
    for (std::size_t i = 0; i < x->numel(); ++i) {
        CorrectionRecord r;
        if (!readRecord(x->structElement(i), r)) {
            d.status = kInvalid;
            return d;
        }
        records.push_back(std::move(r));
    }
    d.records = std::move(records);
    return d;
}

CorrectionData LoadTarnIqCorrectionData(const std::filesystem::path& fileName) {
    platform::MatVariables variables;
    try {
        variables = platform::readMatFile(fileName, kCorrectionFileLimits);
    } catch (const std::exception& e) {
        CorrectionData d;
        d.status = e.what();
        return d;
    }
    return parseCorrectionData(variables);
}

}  // namespace onex
