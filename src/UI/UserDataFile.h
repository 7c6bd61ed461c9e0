#pragma once

// The user data source: a file chosen with the file-open dialog, read as
// bits.

#include <string>
#include <string_view>
#include <vector>

#include "OneX/Parameters.h"

namespace onex::ui {

struct UserDataLoad {
    int status = -1;           // 1 = read; -1 = cancelled or not readable
    std::vector<double> bits;  // at most maxLengthInBits
    std::size_t fileBits = 0;  // the bits the whole file holds
    std::string file;          // the file chosen, empty when cancelled
};

// Asks for a file (filter "*.*", title "Select data source file.") starting
// in parameters.LastPath when set, and reads it with the core reader. A file
// that cannot be opened shows the modal error "Could not open" + the path,
// titled "File Error". On success parameters.LastPath becomes the file's
// folder. The current folder is the same afterwards as before.
UserDataLoad LoadUserDataFile(Parameters& parameters, double maxLengthInBits = 0,
                              std::string_view bitorder = "right-msb");

}  // namespace onex::ui
