// Output files are written beside their place as NAME.part and renamed into it, so a
// failure never leaves half a file under the name asked for.
#pragma once

#include <string>

namespace lumhost {

// The temporary file for `path`.
inline std::string temporaryPath(const std::string& path) { return path + ".part"; }

// Renames `temporary` to `path`; on failure removes it and throws UsageError.
void commitTemporary(const std::string& temporary, const std::string& path);

}  // namespace lumhost
