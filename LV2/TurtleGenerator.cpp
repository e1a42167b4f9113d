// plenko-lv2-turtle: writes the plug-in's Turtle description from the unit itself, so that the
// two never disagree. It opens the unit from its bundle through the component host and takes
// its name, version, parameters (names, ranges, defaults) and value strings.
//
//     plenko-lv2-turtle UNIT.component OUT-FOLDER BINARY
//
// writes OUT-FOLDER/manifest.ttl and OUT-FOLDER/PlenkoOut.ttl for the adapter library BINARY.
#include "BundledUnit.h"
// The stand-in's text of a CoreFoundation string.
#include "CFStringText.h"
#include "PlenkoOutLV2.h"
#include "PlenkoOutPorts.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// "TX Device" names the destinations of the moment the unit opens, which are not the build
// machine's: the description gives it a fixed range that covers every number a host's list can
// be expected to reach (beyond the list the unit takes the first destination) and no labels.
constexpr int kTXDeviceMaximum = 255;
// The largest latency a destination is expected to report, in frames.
constexpr int kLatencyMaximum = 192000;

std::string Text(CFStringRef string)
{
    return CFStringText(string).value_or("");
}

// A Turtle string literal.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A number as Turtle writes an integer or a decimal.
std::string Number(Float32 value)
{
    if (value == std::floor(value))
        return std::to_string(long(value));
    std::ostringstream text;
    text.precision(9);
    text << std::fixed << value;
    return text.str();
}

struct Parameter {
    std::string name;
    Float32 minimum, maximum, defaultValue;
    std::vector<std::string> valueStrings;
};

Parameter ReadParameter(AudioUnit unit, AudioUnitParameterID id)
{
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                             &info, &size) != noErr)
        throw std::runtime_error("the unit gives no info for parameter " + std::to_string(id));
    Parameter parameter{(info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0
                            ? Text(info.cfNameString)
                            : std::string(info.name),
                        info.minValue,
                        info.maxValue,
                        info.defaultValue,
                        {}};
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0)
        CFRelease(info.cfNameString);
    CFArrayRef strings = nullptr;
    size = sizeof strings;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                             id, &strings, &size) == noErr &&
        strings != nullptr) {
        for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
            parameter.valueStrings.push_back(
                Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
        CFRelease(strings);
    }
    return parameter;
}

void WriteControl(std::ostream& out, const ParameterPort& port, Parameter parameter)
{
    if (port.parameter == kParameterTXDevice) {
        parameter.maximum = kTXDeviceMaximum;
        parameter.valueStrings.clear();
    }
    // Labels for every value of the range make a choice of them.
    const bool labelled =
        !parameter.valueStrings.empty() &&
        Float32(parameter.valueStrings.size()) == parameter.maximum - parameter.minimum + 1;
    out << "\t] , [\n"
        << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
        << "\t\tlv2:index " << port.port << " ;\n"
        << "\t\tlv2:symbol " << Quoted(port.symbol) << " ;\n"
        << "\t\tlv2:name " << Quoted(parameter.name) << " ;\n"
        << "\t\tlv2:default " << Number(parameter.defaultValue) << " ;\n"
        << "\t\tlv2:minimum " << Number(parameter.minimum) << " ;\n"
        << "\t\tlv2:maximum " << Number(parameter.maximum) << " ;\n"
        << "\t\tlv2:portProperty lv2:integer" << (labelled ? " , lv2:enumeration" : "");
    if (labelled) {
        out << " ;\n\t\tlv2:scalePoint";
        for (size_t i = 0; i < parameter.valueStrings.size(); ++i)
            out << (i == 0 ? " [\n" : " , [\n") << "\t\t\trdfs:label "
                << Quoted(parameter.valueStrings[i]) << " ;\n"
                << "\t\t\trdf:value " << Number(parameter.minimum + Float32(i)) << "\n\t\t]";
    }
    out << "\n";
}

void WriteDescription(std::ostream& out, AudioUnit unit, AudioComponent component)
{
    CFStringRef cfName = nullptr;
    AudioComponentCopyName(component, &cfName);
    // "Maker: Name", as components are named.
    const std::string fullName = Text(cfName);
    if (cfName != nullptr)
        CFRelease(cfName);
    const size_t colon = fullName.find(": ");
    const std::string maker = colon == std::string::npos ? "" : fullName.substr(0, colon);
    const std::string name = colon == std::string::npos ? fullName : fullName.substr(colon + 2);
    UInt32 version = 0;
    AudioComponentGetVersion(component, &version);

    out << "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
           "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
           "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
           "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
           "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
           "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
           "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
           "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
           "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
           "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n"
        << "<" PLENKO_OUT_URI ">\n"
        << "\ta lv2:Plugin , lv2:InstrumentPlugin , doap:Project ;\n"
        << "\tdoap:name " << Quoted(name) << " ;\n";
    if (!maker.empty())
        out << "\tdoap:maintainer [\n\t\tfoaf:name " << Quoted(maker) << "\n\t] ;\n";
    out << "\tlv2:minorVersion " << ((version >> 8) & 0xFF) << " ;\n"
        << "\tlv2:microVersion " << (version & 0xFF) << " ;\n"
        << "\tlv2:requiredFeature urid:map ;\n"
        << "\tlv2:optionalFeature lv2:hardRTCapable , log:log , work:schedule , opts:options , "
           "bufsz:boundedBlockLength ;\n"
        << "\tlv2:extensionData state:interface , work:interface ;\n"
        << "\topts:supportedOption bufsz:maxBlockLength ;\n"
        << "\tlv2:port [\n"
        << "\t\ta lv2:InputPort , atom:AtomPort ;\n"
        << "\t\tatom:bufferType atom:Sequence ;\n"
        << "\t\tatom:supports midi:MidiEvent ;\n"
        << "\t\tlv2:designation lv2:control ;\n"
        << "\t\tlv2:index " << kPortMIDIIn << " ;\n"
        << "\t\tlv2:symbol \"midi_in\" ;\n"
        << "\t\tlv2:name \"MIDI In\"\n";
    for (const ParameterPort& port : kParameterPorts)
        WriteControl(out, port, ReadParameter(unit, port.parameter));
    out << "\t] , [\n"
        << "\t\ta lv2:OutputPort , lv2:ControlPort ;\n"
        << "\t\tlv2:index " << kPortLatency << " ;\n"
        << "\t\tlv2:symbol \"latency\" ;\n"
        << "\t\tlv2:name \"Latency\" ;\n"
        << "\t\tlv2:designation lv2:latency ;\n"
        << "\t\tlv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
        << "\t\tlv2:minimum 0 ;\n"
        << "\t\tlv2:maximum " << kLatencyMaximum << " ;\n"
        << "\t\tunits:unit units:frame\n";
    struct AudioOutput {
        PlenkoOutPort index;
        const char* symbol;
        const char* label;
    };
    for (const AudioOutput& output : {AudioOutput{kPortOutLeft, "out_l", "Out L"},
                                      AudioOutput{kPortOutRight, "out_r", "Out R"}})
        out << "\t] , [\n"
            << "\t\ta lv2:OutputPort , lv2:AudioPort ;\n"
            << "\t\tlv2:index " << output.index << " ;\n"
            << "\t\tlv2:symbol " << Quoted(output.symbol) << " ;\n"
            << "\t\tlv2:name " << Quoted(output.label) << "\n";
    out << "\t] .\n";
}

void WriteManifest(std::ostream& out, const std::string& binary)
{
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
        << "<" PLENKO_OUT_URI ">\n"
        << "\ta lv2:Plugin ;\n"
        << "\tlv2:binary <" << binary << "> ;\n"
        << "\trdfs:seeAlso <PlenkoOut.ttl> .\n";
}

void Write(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush())
        throw std::runtime_error("cannot write " + path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: plenko-lv2-turtle UNIT.component OUT-FOLDER BINARY\n");
        return 2;
    }
    try {
        const BundledUnit unit(argv[1], kPlenkoOutComponent);
        std::ostringstream description, manifest;
        WriteDescription(description, unit.Unit(), unit.Component());
        WriteManifest(manifest, argv[3]);
        Write(std::string(argv[2]) + "/PlenkoOut.ttl", description.str());
        Write(std::string(argv[2]) + "/manifest.ttl", manifest.str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plenko-lv2-turtle: %s\n", error.what());
        return 1;
    }
    return 0;
}
