#pragma once

// The playback command lines of tests/data/instrument/play_lists.txt and
// the settings they were written for, shared by the sequence tests and the
// simulator's tests.

#include <fstream>
#include <string>
#include <vector>

#include "Instrument/SigGenSettings.h"

namespace onex::testplay {

inline constexpr const char* kName = "1xEV";

// The settings of the "b" list; with `platformC`, those of the "c" list.
inline SigGenSettings listSettings(bool platformC) {
    SigGenSettings s;
    s.Title = kName;
    s.Frequency = 1.9e9;
    s.Amplitude = -12.5;
    s.SamplingRate = 4915200;
    s.ReconFilter = 2;
    s.RFblanking = platformC ? 1 : 0;
    s.MarkerPolarity = platformC ? 1 : 0;
    s.ArbRefSource = platformC ? 1 : 0;
    if (platformC) {
        s.BBfilter = 1;
        s.Scaling = 70;
        s.ModAtten = 2.5;
        s.ALC = 0;
    }
    return s;
}

// The lines of list "b" or "c" (empty when the file cannot be read).
inline std::vector<std::string> playList(char platform) {
    std::ifstream in(std::string(ONEX_TEST_DATA_DIR) + "/instrument/play_lists.txt");
    std::vector<std::string> lines;
    bool inList = false;
    for (std::string line; std::getline(in, line);) {
        if (line.size() >= 3 && line.front() == '[') inList = line[1] == platform;
        if (inList && line.size() >= 2 && line.front() == '|' && line.back() == '|')
            lines.push_back(line.substr(1, line.size() - 2));
    }
    return lines;
}

}  // namespace onex::testplay
