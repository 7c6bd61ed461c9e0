#include "MexIO/WaveformEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/Numeric.h"

namespace onex::mexio {

std::string blockHeader(std::size_t length) {
    std::string digits = std::to_string(length);
    std::string h(1, '#');
    h += static_cast<char>('0' + digits.size());
    return h + digits;
}

std::optional<std::string> checkDownload(std::span<const std::complex<double>> data,
                                         const MarkerRows& markers, std::string_view name) {
    if (data.empty()) return "the waveform is empty";
    if (data.size() > kMaxBlockBytes / 4)
        return "the waveform has " + std::to_string(data.size()) +
               " samples, more than one block can carry";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (!std::isfinite(data[i].real()) || !std::isfinite(data[i].imag()))
            return "sample " + std::to_string(i + 1) + " of the waveform is not a finite number";
    }
    const std::span<const double> rows[2] = {markers.marker1, markers.marker2};
    for (int r = 0; r < 2; ++r) {
        if (!rows[r].empty() && rows[r].size() != data.size())
            return "marker " + std::to_string(r + 1) + " has " + std::to_string(rows[r].size()) +
                   " values for " + std::to_string(data.size()) + " samples";
        for (std::size_t i = 0; i < rows[r].size(); ++i) {
            if (std::isnan(rows[r][i]))
                return "marker " + std::to_string(r + 1) + " value " + std::to_string(i + 1) +
                       " is not a number";
        }
    }
    if (name.empty()) return "the waveform name is empty";
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        // A quote would end the name's string inside the command; control
        // characters would end or corrupt the command line.
        if (c == '"' || u < 0x20 || u == 0x7F)
            return "the waveform name contains a quote or control character";
    }
    return std::nullopt;
}

double normScale(std::span<const std::complex<double>> data) {
    double peak = 0;
    for (const auto& s : data)
        peak = std::max({peak, std::abs(s.real()), std::abs(s.imag())});
    return peak > 0 ? kFullScale / peak : 0.0;
}

namespace {
inline void putBe16(uint8_t* p, double v) {
    double r = platform::clampValue(platform::roundHalfAway(v), -kFullScale, kFullScale);
    auto u = static_cast<uint16_t>(static_cast<int16_t>(r));
    p[0] = static_cast<uint8_t>(u >> 8);
    p[1] = static_cast<uint8_t>(u & 0xFF);
}
}  // namespace

void appendIq(std::span<const std::complex<double>> data, double scale, std::vector<uint8_t>& out) {
    std::size_t at = out.size();
    out.resize(at + 4 * data.size());
    uint8_t* p = out.data() + at;
    for (const auto& s : data) {
        putBe16(p, s.real() * scale);
        putBe16(p + 2, s.imag() * scale);
        p += 4;
    }
}

std::vector<std::complex<float>> iqCodes(std::span<const uint8_t> block) {
    std::vector<std::complex<float>> out(block.size() / 4);
    const auto code = [](const uint8_t* p) {
        return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1])));
    };
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = {code(&block[4 * i]), code(&block[4 * i + 2])};
    return out;
}

void appendMarkers(const MarkerRows& markers, std::size_t count, std::vector<uint8_t>& out) {
    std::size_t at = out.size();
    out.resize(at + count, 0);
    for (std::size_t i = 0; i < markers.marker1.size() && i < count; ++i)
        if (markers.marker1[i] != 0) out[at + i] |= 1;
    for (std::size_t i = 0; i < markers.marker2.size() && i < count; ++i)
        if (markers.marker2[i] != 0) out[at + i] |= 2;
}

namespace {
std::vector<uint8_t> startMessage(std::string_view kind, std::string_view name,
                                  std::size_t payload) {
    std::string head = ":MMEMory:DATA \"" + std::string(kind) + ":" + std::string(name) + "\"," +
                       blockHeader(payload);
    std::vector<uint8_t> msg;
    msg.reserve(head.size() + payload + 1);
    msg.assign(head.begin(), head.end());
    return msg;
}
}  // namespace

std::vector<uint8_t> waveformMessage(std::span<const std::complex<double>> data,
                                     std::string_view name) {
    std::vector<uint8_t> msg = startMessage("WFM1", name, 4 * data.size());
    appendIq(data, normScale(data), msg);
    msg.push_back('\n');
    return msg;
}

std::vector<uint8_t> markerMessage(const MarkerRows& markers, std::size_t count,
                                   std::string_view name) {
    std::vector<uint8_t> msg = startMessage("MKR1", name, count);
    appendMarkers(markers, count, msg);
    msg.push_back('\n');
    return msg;
}

std::optional<InstrumentError> parseErrorReply(std::string_view reply) {
    while (!reply.empty() && (reply.front() == ' ' || reply.front() == '\t'))
        reply.remove_prefix(1);
    auto comma = reply.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string_view num = reply.substr(0, comma);
    if (!num.empty() && num.front() == '+') num.remove_prefix(1);
    InstrumentError e;
    auto [p, ec] = std::from_chars(num.data(), num.data() + num.size(), e.code);
    if (ec != std::errc() || p != num.data() + num.size()) return std::nullopt;
    std::string_view text = reply.substr(comma + 1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    e.text = std::string(text);
    return e;
}

}  // namespace onex::mexio
