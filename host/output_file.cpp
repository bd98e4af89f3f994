#include "output_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "dsp_run.h"

namespace lumhost {

void commitTemporary(const std::string& temporary, const std::string& path) {
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        throw UsageError("cannot write " + path + ": " + error.message());
    }
}

}  // namespace lumhost
