#include "CommandLine/OptionTexts.h"

#include "FourCharCode.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// A whole decimal number from first to last, or nothing.
std::optional<long> WholeNumber(const std::string& text, long first, long last)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return std::nullopt;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < first || value > last) {
        return std::nullopt;
    }
    return value;
}

} // namespace

AudioComponentDescription UnitFromText(const std::string& text)
{
    AudioComponentDescription unit = {};
    if (text.size() != 14 || text[4] != ':' || text[9] != ':' ||
        !FourCharCodeFromText(text.substr(0, 4), unit.componentType) ||
        !FourCharCodeFromText(text.substr(5, 4), unit.componentSubType) ||
        !FourCharCodeFromText(text.substr(10, 4), unit.componentManufacturer)) {
        throw CLI::ValidationError(
            "--unit", "\"" + text + "\" is not TYPE:SUBTYPE:MANU (four characters each)");
    }
    return unit;
}

BankSelect BankFromText(const std::string& text)
{
    const size_t colon = text.find(':');
    const auto msb = WholeNumber(text.substr(0, colon), 0, kMaxMIDIValue);
    const auto lsb = colon == std::string::npos
                         ? std::optional<long>(-1)
                         : WholeNumber(text.substr(colon + 1), 0, kMaxMIDIValue);
    if (!msb || !lsb) {
        throw CLI::ValidationError("--bank",
                                   "\"" + text + "\" is not MSB or MSB:LSB (0 to 127 each)");
    }
    BankSelect bank;
    bank.mMSB = static_cast<Byte>(*msb);
    if (*lsb >= 0) {
        bank.mLSB = static_cast<Byte>(*lsb);
    }
    return bank;
}

ParameterSetting SettingFromText(const std::string& text)
{
    const size_t equals = text.find('=');
    const auto id = WholeNumber(text.substr(0, equals), 0, UINT32_MAX);
    const std::string valueText = equals == std::string::npos ? "" : text.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    const float value = valueText.empty() ? 0.0f : std::strtof(valueText.c_str(), &end);
    if (!id || valueText.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw CLI::ValidationError(
            "--set", "\"" + text + "\" is not ID=VALUE (a parameter number and a number)");
    }
    return ParameterSetting{static_cast<UInt32>(*id), value};
}

void AddUnitOption(CLI::App& command, std::optional<std::string>& text)
{
    command.add_option("--unit", text, "the unit to open (default aumu:Pout:Plnk)")
        ->type_name("TYPE:SUBTYPE:MANU");
}
