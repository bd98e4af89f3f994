// Windows DLLs call their system libraries directly, past anything lumhost could define,
// so there the allocation, lock, wait, sleep, file and socket functions a module library
// imports are swapped in its own import table for ones that count and pass on. The
// libraries link their C++ runtime statically, so its calls go through that table too.
// [Windows only]
#pragma once

#include <utility>
#include <vector>

#include "library_loader.h"
#include "realtime_call_counter.h"

namespace lumhost {

class ImportTableHooks {
public:
    // Hooks `library`'s imports, which then count where a module's call is watched.
    explicit ImportTableHooks(const ModuleLibrary& library);
    ImportTableHooks(const ImportTableHooks&) = delete;
    ImportTableHooks& operator=(const ImportTableHooks&) = delete;
    // Gives the library its imports back.
    ~ImportTableHooks();

private:
    std::vector<std::pair<void**, void*>> replaced_;  // import slot, what it held
};

}  // namespace lumhost
