// Where a module made a call: the frames of a call stack that lie in the libraries this
// program loaded, without the program's own frames around them.
#pragma once

#include <string>
#include <vector>

namespace lumhost {

// The frames past this program's innermost ones up to where it comes back, innermost first,
// each as "function+0x1c (LIBRARY)" where the library has symbols, else "LIBRARY+0x1a2b";
// empty where the platform cannot tell.
std::vector<std::string> callSiteFrames(void* const* frames, int count);

}  // namespace lumhost
