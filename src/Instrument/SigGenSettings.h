#pragma once

// The signal-generator settings (how the instrument plays the waveform) and a
// table of their fields with the ranges the settings panel keeps. The table
// serves the command line (--set SigGen.Frequency=...), the parameter-file
// checks and displays, like the parameter-set table of OneX/ParameterFields.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OneX/AirInterface.h"  // chipSamplingRate, the default sample clock

namespace onex {

struct SigGenSettings {
    std::string Title;          // waveform name in the instrument
    double Frequency = 0;       // carrier, Hz
    double Amplitude = 0;       // output power, dBm
    double SamplingRate = 0;    // ARB sample clock, Hz
    double ReconFilter = 0;     // reconstruction filter position 1..4
    double RFblanking = 0;      // 0/1
    double ArbRefSource = 0;    // 0 internal, 1 external
    double MarkerPolarity = 0;  // 0 positive, 1 negative
    // Read only by the platform "c" playback; absent unless set, and written
    // to files only when present.
    std::optional<double> BBfilter;  // baseband filter position 1..3
    std::optional<double> Scaling;   // ARB run-time scaling
    std::optional<double> ModAtten;  // I/Q modulator attenuation
    std::optional<double> ALC;       // automatic level control 0/1
    bool operator==(const SigGenSettings&) const = default;
};

// The defaults: "OneX-Rev", 2.2 GHz, -30 dBm, 1228800 x overSampling Hz,
// filter 2, blanking off, internal reference, positive markers.
SigGenSettings InitializeSigGenSettings(double overSampling);

// The title the panel keeps: upper case, only A-Z 0-9 _ $ & # + - [ ], at
// most 20 characters, "BLANK" when nothing is left.
std::string applyTitleRule(std::string_view text);
// True for a title the panel can hold: the result of applyTitleRule (1 to 20
// allowed characters) or the default "OneX-Rev", which has lower-case letters.
bool isValidTitle(std::string_view title);

enum class SigGenFieldKind {
    Title,    // see isValidTitle
    Real,     // number in [lo, hi]
    Integer,  // whole number in [lo, hi]
    Flag,     // 0 or 1
};

struct SigGenField {
    std::string_view name;  // as in parameter files: "Frequency", "BBfilter", ...
    SigGenFieldKind kind;
    double lo = 0;
    double hi = 0;
    bool optional = false;  // one of the platform "c" fields
};

// All fields, the panel's eight in their order, then the optional ones.
const std::vector<SigGenField>& sigGenFields();
const SigGenField* findSigGenField(std::string_view name);

// Readable range, e.g. "a number from 100000 to 4000000000".
std::string describeSigGenFieldRange(const SigGenField& field);

// The value as text (numbers in the platform's default form); nothing for an
// absent optional field.
std::optional<std::string> formatSigGenField(const SigGenSettings& s, const SigGenField& field);

// Parses and stores one field; an error message naming the field and its
// range when the text is malformed or out of range (settings unchanged).
std::optional<std::string> setSigGenField(SigGenSettings& s, const SigGenField& field,
                                          std::string_view text);

// Typed access to a numeric field: its value (nothing for an absent optional
// one), and storing a number with the checks and messages of setSigGenField;
// nothing clears an optional field. The title is text: use setSigGenField.
std::optional<double> getSigGenNumber(const SigGenSettings& s, const SigGenField& field);
std::optional<std::string> assignSigGenNumber(SigGenSettings& s, const SigGenField& field,
                                              std::optional<double> value);

// The first field whose value the panel could not hold, as a message.
std::optional<std::string> checkSigGenSettings(const SigGenSettings& s);

}  // namespace onex
