// The smallest host: is the notebook on AC power? On Linux it asks the simulated notebook, which
// it can start from a scenario file: the installed package brings <celdor_platform/notebook.h>
// with Celdor::celdor, with no include folder to add.
#include <celdor/celdor.h>

#if !defined(_WIN32)
#include <celdor_platform/notebook.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#endif

#include <cstdio>

int main(int argc, char** argv) {
#if !defined(_WIN32)
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
            return 1;
        }
        try {
            celdor::sim::Notebook::instance().loadScenario(
                std::string(std::istreambuf_iterator<char>(in), {}));
        } catch (const std::runtime_error& error) { // names the field at fault
            std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
            return 1;
        }
    }
#else
    (void)argc;
    (void)argv;
#endif
    std::printf("AC power on line: %s\n", Celdor::CAdapter::IsACIn() == 1 ? "yes" : "no");
    return 0;
}
