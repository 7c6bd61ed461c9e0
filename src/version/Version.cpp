#include "version/Version.h"

#include "onex_commit.h"          // ONEX_COMMIT, written at build time ("" outside git)
#include "onex_version_number.h"  // ONEX_VERSION, written at configure time

namespace onex {

const char* versionNumber() {
    return ONEX_VERSION;
}

const char* versionText() {
    return sizeof(ONEX_COMMIT) > 1 ? ONEX_VERSION "+g" ONEX_COMMIT : ONEX_VERSION;
}

}  // namespace onex
