#pragma once

// The exported library's provider of the window routines (lib/Windows.h),
// built only with the desktop part (ONEX_BUILD_GUI).

namespace onex::lib {

// Makes the window routines of the registry run the desktop part's.
void installWindowHost();

}  // namespace onex::lib
