#pragma once

// Correction-data files: one variable `TarnIqCorrectionData` holding a
// correction record or an array of them (measured responses of the
// instrument's I/Q path and RF channel).

#include <complex>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Array.h"
#include "platform/MatFile.h"

namespace onex {

// One record, with the fields the corrections use in typed form. `record`
// keeps every field as read (ID, date, fltr, ... are carried, not used).
struct CorrectionRecord {
    double rev = 0;                               // 1, 2 or 3
    std::vector<double> F;                        // frequency points, Hz
    std::vector<std::complex<double>> H;          // I/Q path response; NaN = none
    bool hasRfChannel = false;                    // rev 2 and 3 carry one
    std::vector<std::complex<double>> rfChannel;  // RF channel response; NaN = none
    platform::Array record;                       // the 1 x 1 record as read
};

struct CorrectionData {
    platform::Array x;                      // TarnIqCorrectionData as read, even on failure
    std::string status;                     // empty = success, else why not
    std::vector<CorrectionRecord> records;  // the records, only when status is empty
};

// Reads and checks a correction-data file. status:
//   the reader's text         the file is missing, unreadable or no MAT-file
//   "File empty or not found." the file holds no variable
//   "Invalid data structure." no TarnIqCorrectionData, no struct, a record
//       whose rev is not 1, 2 or 3, a required field missing (rev, F, H, ID,
//       date, fltr, modAttn, cf, bw, pwr; rfChannel from rev 2; t1, t2, t3,
//       fbc, bc, cbc, image for rev 3), or rev, F, H, rfChannel not numeric
//       (rev a real scalar, F a real vector, H and rfChannel vectors)
// Every record of an array is checked the same way; an empty array has none
// to use and is refused.
CorrectionData LoadTarnIqCorrectionData(const std::filesystem::path& fileName);

// The same checks on variables already read.
CorrectionData parseCorrectionData(const platform::MatVariables& variables);

}  // namespace onex
