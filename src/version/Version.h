// The product's version, for --version, the About box, the library and the
// Python module: the number from project(... VERSION ...) in the top
// CMakeLists.txt, and the commit a build from a git checkout was made from.

#pragma once

namespace onex {

// "1.6.0"
const char* versionNumber();

// The number, and for a build from a git checkout its short commit id as a
// local version label: "1.6.0+g1a2b3c4" (PEP 440 reads it too).
const char* versionText();

}  // namespace onex
