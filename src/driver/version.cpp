// version.cpp: the one version text of gprnpv and its tools, as made by
// cmake/version.cmake at every build: "1.1.0 (git c52f972)", or the
// project version alone outside a git checkout.
#include "driver/driver.h"
#include "version_text.h"

namespace gpr {

const char* version_text() { return GPRNPV_VERSION_TEXT; }

}  // namespace gpr
