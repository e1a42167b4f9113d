#include "MidicsvReading.h"

#include "HexBytes.h"
#include "ProgramRun.h"

#include <map>
#include <sstream>
#include <stdexcept>

namespace {

// The fields of one line; a quoted string comes back without its quotes and escapes ("" for a
// quote, \\ for a backslash, \ooo for any other character).
std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (quoted && c == '\\') {
            const bool octal = line[i + 1] != '\\';
            fields.back() += octal ? char(std::stoi(line.substr(i + 1, 3), nullptr, 8)) : '\\';
            i += octal ? 3 : 1;
        } else if (!quoted && c == ',') {
            fields.emplace_back();
        } else if (quoted || c != ' ') {
            fields.back() += c;
        }
    }
    return fields;
}

// The bytes of an event record from its type and the fields after the type.
std::vector<uint8_t> EventBytes(const std::string& type, const std::vector<std::string>& f)
{
    static const std::map<std::string, uint8_t> kStatus = {
        {"Note_off_c", 0x80},        {"Note_on_c", 0x90},
        {"Poly_aftertouch_c", 0xA0}, {"Control_c", 0xB0},
        {"Program_c", 0xC0},         {"Channel_aftertouch_c", 0xD0},
        {"System_exclusive", 0xF0},  {"System_exclusive_packet", 0xF7}};
    static const std::map<std::string, uint8_t> kMeta = {{"Sequence_number", 0x00},
                                                         {"Text_t", 0x01},
                                                         {"Copyright_t", 0x02},
                                                         {"Title_t", 0x03},
                                                         {"Instrument_name_t", 0x04},
                                                         {"Lyric_t", 0x05},
                                                         {"Marker_t", 0x06},
                                                         {"Cue_point_t", 0x07},
                                                         {"Channel_prefix", 0x20},
                                                         {"MIDI_port", 0x21},
                                                         {"Tempo", 0x51},
                                                         {"SMPTE_offset", 0x54},
                                                         {"Time_signature", 0x58},
                                                         {"Key_signature", 0x59},
                                                         {"Sequencer_specific", 0x7F}};
    auto number = [&](size_t i) { return std::stoi(f.at(i)); };

    std::vector<uint8_t> bytes;
    size_t first = 1; // the first field that is a data byte
    if (type == "Pitch_bend_c") {
        return {uint8_t(0xE0 | number(0)), uint8_t(number(1) & 0x7F), uint8_t(number(1) >> 7)};
    } else if (auto status = kStatus.find(type); status != kStatus.end()) {
        bytes = {uint8_t(status->second | (status->second < 0xF0 ? number(0) : 0))};
    } else if (type == "Unknown_meta_event") {
        bytes = {0xFF, uint8_t(number(0))};
        first = 2;
    } else if (auto meta = kMeta.find(type); meta != kMeta.end()) {
        bytes = {0xFF, meta->second};
        if (type.size() > 2 && type.compare(type.size() - 2, 2, "_t") == 0) {
            bytes.insert(bytes.end(), f.at(0).begin(), f.at(0).end());
            return bytes;
        }
        const int value = number(0);
        if (type == "Tempo") {
            return {0xFF, 0x51, uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
        } else if (type == "Sequence_number") {
            return {0xFF, 0x00, uint8_t(value >> 8), uint8_t(value)};
        } else if (type == "Key_signature") {
            return {0xFF, 0x59, uint8_t(value), uint8_t(f.at(1) == "minor")};
        }
        first = type == "Sequencer_specific" ? 1 : 0;
    } else {
        throw std::runtime_error("midicsv record of unknown type " + type);
    }
    for (size_t i = first; i < f.size(); ++i) {
        bytes.push_back(uint8_t(number(i)));
    }
    return bytes;
}

} // namespace

MidicsvFile ReadWithMidicsv(const std::string& path)
{
    const ProgramResult result = RunProgram({"midicsv", path});
    if (result.mExitStatus != 0) {
        throw std::runtime_error("midicsv failed on " + path + ": " + result.mErr);
    }
    MidicsvFile file;
    std::istringstream lines(result.mOut);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = Fields(line);
        const std::string& type = fields.at(2);
        const std::vector<std::string> rest(fields.begin() + 3, fields.end());
        if (type == "Header") {
            file.mFormat = std::stoi(rest.at(0));
            file.mTrackCount = std::stoi(rest.at(1));
            file.mDivision = std::stoi(rest.at(2));
        } else if (type == "End_track") {
            file.mTrackEnds.push_back(std::stoull(fields[1]));
        } else if (type != "Start_track" && type != "End_of_file") {
            const std::vector<uint8_t> bytes = EventBytes(type, rest);
            file.mEvents.push_back(MidicsvEvent{std::stoi(fields[0]) - 1, std::stoull(fields[1]),
                                                HexText(bytes.data(), bytes.size())});
        }
    }
    return file;
}
