#pragma once

// Synthetic waveforms whose 16-bit codes are known in advance: sample codes
// are chosen first, the waveform is code * peak / 32767, so "norm" scaling
// must give back exactly the chosen codes.

#include <complex>
#include <cstdint>
#include <vector>

namespace onex::testsim {

struct KnownWaveform {
    std::vector<std::complex<double>> data;
    std::vector<double> marker1, marker2;
    std::vector<uint8_t> expectedIq;       // big-endian I,Q codes
    std::vector<uint8_t> expectedMarkers;  // bit 0 marker 1, bit 1 marker 2
};

inline KnownWaveform knownWaveform(std::size_t n, double peak = 0.8, uint32_t seed = 12345) {
    KnownWaveform w;
    w.data.resize(n);
    w.marker1.resize(n);
    w.marker2.resize(n);
    uint32_t x = seed;
    auto next = [&] {
        x = x * 1664525u + 1013904223u;
        return x;
    };
    for (std::size_t i = 0; i < n; ++i) {
        int ci = static_cast<int>(next() % 65535u) - 32767;
        int cq = static_cast<int>(next() % 65535u) - 32767;
        // Codes whose bytes are XON/XOFF, and the two full-scale extremes.
        if (i % 1000 == 1) ci = 0x1113, cq = 0x1311;
        if (i % 1000 == 2) ci = 0x0011, cq = 0x1300;
        if (i == 0) ci = 32767, cq = -32767;
        w.data[i] = {ci * peak / 32767.0, cq * peak / 32767.0};
        for (int c : {ci, cq}) {
            auto u = static_cast<uint16_t>(static_cast<int16_t>(c));
            w.expectedIq.push_back(static_cast<uint8_t>(u >> 8));
            w.expectedIq.push_back(static_cast<uint8_t>(u & 0xFF));
        }
        w.marker1[i] = (i / 1024) % 2 == 0 ? 1.0 : 0.0;
        w.marker2[i] = (i % 4096) < 100 ? 1.0 : 0.0;
        w.expectedMarkers.push_back(
            static_cast<uint8_t>((w.marker1[i] != 0 ? 1 : 0) | (w.marker2[i] != 0 ? 2 : 0)));
    }
    return w;
}

}  // namespace onex::testsim
