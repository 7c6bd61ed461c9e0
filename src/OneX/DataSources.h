#pragma once

// Data sources of the Data channel and small bit utilities: patterns, PN
// sequences, user-file bits, stretching a bit row, integers to bit rows.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace onex {

// `len` bits of source type 1..8 (zeros, ones, 0101.., 1010.., PN9, PN15,
// user bits stretched by ExtendVector); an empty row for any other type.
std::vector<double> GenerateBitStream(double type, double len,
                                      std::span<const double> pattern = {});

// PN sequence from the tap table for register length n (3..31). Absent
// inputs take their defaults: n 9, dataLength 2^n - 1, userInvert 0, seed n
// ones, zeroSuppresion 0.
std::vector<double> PNgenerator(std::optional<double> n = std::nullopt,
                                std::optional<double> dataLength = std::nullopt,
                                std::optional<double> userInvert = std::nullopt,
                                std::optional<std::vector<double>> seed = std::nullopt,
                                std::optional<double> zeroSuppresion = std::nullopt);

// `data` repeated end to end and cut to reqLength entries; empty data is an
// error (it cannot be stretched).
std::vector<double> ExtendVector(std::span<const double> data, double reqLength);

struct UserDataFile {
    int status = -1;           // 1 = read, -1 = could not be opened or read
    std::vector<double> bits;  // at most maxLengthInBits bits
    std::size_t fileBits = 0;  // the bits of the whole file (8 per byte)
    std::string message;       // the caller's error box: "Could not open", the path, ...
    std::string reason;        // why, in the system's words ("No such file or directory")
};

// Reads the file at `path` as bits, least significant bit of each byte first
// when bitorder starts with "right", else most significant first. At most
// maxLengthInBits bits (the first ceil(maxLengthInBits/8) bytes) are kept.
UserDataFile LoadUserDataFile(const std::filesystem::path& path, double maxLengthInBits = 0,
                              std::string_view bitorder = "right-msb");

// The whole number x as bits, least significant first ("right-msb") or most
// significant first ("left-msb"), at least fix(minSize) entries. Without
// minSize it is ceil(log2(x)).
std::vector<double> bitVector(double x, std::optional<double> minSize = std::nullopt,
                              std::string_view orientation = "right-msb");

// The same with the argument count checked, as a dynamic caller passes it:
// 1 to 3 arguments (x, minSize, orientation), else "Incorrect number of
// parameters.".
using BitVectorArgument = std::variant<double, std::string>;
std::vector<double> bitVector(std::span<const BitVectorArgument> args);

// The non-negative whole number d as bits, least significant first, as many
// as its highest set bit needs (one entry for 0).
std::vector<double> de2bi(double d);

}  // namespace onex
