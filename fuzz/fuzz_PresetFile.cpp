// Reads arbitrary bytes as an .aupreset file. A refusal must be a std::runtime_error naming the
// file; a preset read must hold its state and no more parameters than its record has room for,
// and show itself.
#include "Presets/PresetFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<Byte> bytes(data, data + size);
    try {
        const PresetFile preset("fuzz.aupreset", bytes);
        if (preset.State() == nullptr || preset.Parameters().size() > size / 8) {
            abort();
        }
        std::ostringstream shown;
        preset.Print(shown);
    } catch (const std::runtime_error& error) {
        if (std::string(error.what()).rfind("fuzz.aupreset: ", 0) != 0) {
            abort();
        }
    }
    return 0;
}
