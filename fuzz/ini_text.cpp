// INI files holding anything: the bytes of the file as given, read and written back through
// the INI helpers under a section and key taken from the input too.
#include "fuzz_notebook.h"

#include <celdor/libini.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::Start(0);
    const std::u16string section = celdor::sim::Utf8ToUtf16(input.ConsumeRandomLengthString(16));
    const std::u16string key = celdor::sim::Utf8ToUtf16(input.ConsumeRandomLengthString(16));
    const std::u16string file = u"C:\\ProgramData\\Fuzz\\settings.ini";
    const auto path = fuzz::Nb().hostPath(file);
    std::filesystem::create_directories(path.parent_path());
    {
        std::ofstream out(path, std::ios::binary);
        const std::string text = input.ConsumeRemainingBytesAsString();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    DWORD value = 0;
    GetDWForIni(file.c_str(), section.c_str(), key.c_str(), &value);
    GetDWForIni(file.c_str(), u"Charging", u"Mode", &value);
    SetDWForIni(file.c_str(), section.c_str(), key.c_str(), value + 1);
    GetDWForIni(file.c_str(), section.c_str(), key.c_str(), &value);
    fuzz::CheckNothingOpen();
    return 0;
}
