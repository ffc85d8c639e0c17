// The notebook's C entry point for hosts of the C interface.
#include <celdor_platform/notebook.h>
#include <celdor_platform/notebook_c.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int Refuse(const std::string& reason, char* error, size_t size) {
    if (error != nullptr && size > 0) {
        const size_t count = std::min(reason.size(), size - 1);
        std::memcpy(error, reason.data(), count);
        error[count] = '\0';
    }
    return 0;
}

} // namespace

extern "C" int celdor_sim_load_scenario(const char* path, char* error, size_t size) {
    if (path == nullptr) {
        return Refuse("no scenario file given", error, size);
    }
    try {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return Refuse(std::string("cannot read ") + path, error, size);
        }
        std::stringstream text;
        text << file.rdbuf();
        celdor::sim::Notebook::instance().loadScenario(text.str());
        return 1;
    } catch (const std::exception& failure) {
        return Refuse(std::string(path) + ": " + failure.what(), error, size);
    } catch (...) {
        return Refuse(std::string(path) + ": the scenario could not be loaded", error, size);
    }
}

extern "C" int celdor_sim_open_handles(void) {
    return celdor::sim::Notebook::instance().openCount();
}
