// Enters the catalogue into the factory at load time, in table order.
#include <array>

#include "catalogue.h"

namespace {

// One registration per identifier on its side, each result (0) kept.
std::array<std::int32_t, std::size(kelmath::kCatalogue)> registerCatalogue() {
    std::array<std::int32_t, std::size(kelmath::kCatalogue)> results{};
    for (std::size_t i = 0; i < results.size(); ++i) {
        const kelmath::CatalogueEntry& entry = kelmath::kCatalogue[i];
        results[i] = entry.side == lum::kSubtypeGui ? lum::registerGuiCreator(entry.id, entry.create)
                                                    : lum::registerDspCreator(entry.id, entry.create);
    }
    return results;
}

const auto kRegistered = registerCatalogue();

}  // namespace
