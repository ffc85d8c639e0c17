// Scenario text of any shape: refused with a message, or loaded so that saving and loading it
// again gives the same notebook.
#include "fuzz_notebook.h"

#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        fuzz::Nb().loadScenario(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::runtime_error&) {
        return 0;
    }
    const std::string saved = fuzz::Nb().saveScenario();
    fuzz::Nb().loadScenario(saved);
    if (fuzz::Nb().saveScenario() != saved) {
        std::fprintf(stderr, "a loaded notebook saves differently once loaded again\n");
        std::abort();
    }
    return 0;
}
