#include "MidicsvReading.h"

#include "HexBytes.h"
#include "ProgramRun.h"

#include <map>
#include <sstream>
#include <stdexcept>

namespace {

// The fields of one CSV line; quoted strings come back without quotes and escapes.
std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    while (i <= line.size()) {
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size(); ++i) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (line[i] == '"') {
                    ++i;
                    break;
                } else if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
                    field += '\\';
                    ++i;
                } else if (line[i] == '\\' && i + 3 < line.size()) {
                    field += static_cast<char>(std::stoi(line.substr(i + 1, 3), nullptr, 8));
                    i += 3;
                } else {
                    field += line[i];
                }
            }
        }
        const size_t comma = line.find(',', i);
        field += line.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
        fields.push_back(field);
        if (comma == std::string::npos) {
            break;
        }
        i = comma + 1;
    }
    return fields;
}

int Number(const std::string& field)
{
    return std::stoi(field);
}

// The bytes of one event record from its type name and the fields after it.
std::vector<uint8_t> EventBytes(const std::string& type, const std::vector<std::string>& f)
{
    static const std::map<std::string, uint8_t> kChannel = {
        {"Note_off_c", 0x80},  {"Note_on_c", 0x90}, {"Poly_aftertouch_c", 0xA0},
        {"Control_c", 0xB0},   {"Program_c", 0xC0}, {"Channel_aftertouch_c", 0xD0},
        {"Pitch_bend_c", 0xE0}};
    static const std::map<std::string, uint8_t> kText = {
        {"Text_t", 0x01},  {"Copyright_t", 0x02}, {"Title_t", 0x03},    {"Instrument_name_t", 0x04},
        {"Lyric_t", 0x05}, {"Marker_t", 0x06},    {"Cue_point_t", 0x07}};
    static const std::map<std::string, uint8_t> kNumbers = {{"Channel_prefix", 0x20},
                                                            {"MIDI_port", 0x21},
                                                            {"SMPTE_offset", 0x54},
                                                            {"Time_signature", 0x58}};
    auto byte = [](const std::string& field) { return static_cast<uint8_t>(Number(field)); };

    if (auto channel = kChannel.find(type); channel != kChannel.end()) {
        std::vector<uint8_t> bytes = {static_cast<uint8_t>(channel->second | Number(f[0]))};
        if (type == "Pitch_bend_c") {
            const int value = Number(f[1]);
            bytes.insert(bytes.end(), {uint8_t(value & 0x7F), uint8_t(value >> 7)});
        } else {
            for (size_t i = 1; i < f.size(); ++i) {
                bytes.push_back(byte(f[i]));
            }
        }
        return bytes;
    }
    if (auto text = kText.find(type); text != kText.end()) {
        std::vector<uint8_t> bytes = {0xFF, text->second};
        bytes.insert(bytes.end(), f[0].begin(), f[0].end());
        return bytes;
    }
    std::vector<uint8_t> bytes;
    size_t dataFrom = 0;
    if (auto numbers = kNumbers.find(type); numbers != kNumbers.end()) {
        bytes = {0xFF, numbers->second};
    } else if (type == "Tempo") {
        const int tempo = Number(f[0]);
        return {0xFF, 0x51, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
    } else if (type == "Sequence_number") {
        const int number = Number(f[0]);
        return {0xFF, 0x00, uint8_t(number >> 8), uint8_t(number)};
    } else if (type == "Key_signature") {
        return {0xFF, 0x59, uint8_t(Number(f[0])), uint8_t(f[1] == "minor" ? 1 : 0)};
    } else if (type == "Sequencer_specific") {
        bytes = {0xFF, 0x7F};
        dataFrom = 1;
    } else if (type == "Unknown_meta_event") {
        bytes = {0xFF, byte(f[0])};
        dataFrom = 2;
    } else if (type == "System_exclusive") {
        bytes = {0xF0};
        dataFrom = 1;
    } else if (type == "System_exclusive_packet") {
        bytes = {0xF7};
        dataFrom = 1;
    } else {
        throw std::runtime_error("midicsv record of unknown type " + type);
    }
    for (size_t i = dataFrom; i < f.size(); ++i) {
        bytes.push_back(byte(f[i]));
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
        if (fields.size() < 3) {
            throw std::runtime_error("midicsv line without a type: " + line);
        }
        const std::string& type = fields[2];
        const std::vector<std::string> rest(fields.begin() + 3, fields.end());
        if (type == "Header") {
            file.mFormat = Number(rest.at(0));
            file.mTrackCount = Number(rest.at(1));
            file.mDivision = Number(rest.at(2));
        } else if (type == "End_track") {
            file.mTrackEnds.push_back(std::stoull(fields[1]));
        } else if (type != "Start_track" && type != "End_of_file") {
            const std::vector<uint8_t> bytes = EventBytes(type, rest);
            file.mEvents.push_back(MidicsvEvent{Number(fields[0]) - 1, std::stoull(fields[1]),
                                                HexText(bytes.data(), bytes.size())});
        }
    }
    return file;
}
