#pragma once

// What a file command reports: success, or the message and title of the
// error dialog the application shows for it.

#include <string>

namespace onex {

struct FileResult {
    bool ok = true;
    std::string message;  // dialog text (the system's own wording)
    std::string title;    // dialog title
    // Why a file was refused, e.g. "fileParameters.OverSampling: 1000000000 is
    // out of range (expected an integer from 2 to 30)"; empty when the
    // message says it all. The command line prints it; the dialog need not.
    std::string detail;
};

// A failure as one text: the message, then the detail (if any) on an
// indented line.
inline std::string failureText(const FileResult& result) {
    return result.detail.empty() ? result.message : result.message + "\n  " + result.detail;
}

}  // namespace onex
