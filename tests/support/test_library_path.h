// Where the tests find the module libraries of this build.
#pragma once

#include <string>

namespace lumtest {

// The path of NAME.lum in this build's lib/ folder.
inline std::string libraryPath(const std::string& name) { return std::string(LUM_LIBRARY_DIR) + "/" + name + ".lum"; }

}  // namespace lumtest
