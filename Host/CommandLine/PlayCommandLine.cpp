#include "CommandLine/PlayCommandLine.h"

#include "CommandLine/CommandLineChecks.h"
#include "CommandLine/OptionTexts.h"

#include <CLI/CLI.hpp>

PlayCommandLine::PlayCommandLine(CLI::App& app, PlayOptions& options)
    : mOptions(options), mCommand(app.add_subcommand("play", "plays a MIDI file through the unit"))
{
    CLI::App& play = *mCommand;
    play.footer(kExitStatuses);
    play.add_option("FILE.mid", options.mFile, "the Standard MIDI File to play")->required();
    play.add_option("--to", options.mDestination,
                    "the destination: its number, its name (JACK's client:port too) or a "
                    "part of it (default: auhost's monitor)")
        ->type_name("NAME|NUMBER");
    play.add_option("--channel", options.mChannel, "send every message on this channel")
        ->type_name("N")
        ->check(WholeNumberFrom(1, 16, "a channel"));
    play.add_option("--program", mProgram,
                    "program change to send first (0 to 127; needs a transmit channel)")
        ->type_name("N")
        ->check(WholeNumberFrom(0, kMaxMIDIValue, "a program"));
    play.add_option("--bank", mBankText,
                    "bank select to send first (0 to 127 each; needs a transmit channel)")
        ->type_name("MSB[:LSB]");
    play.add_option("--rate", options.mSampleRate, "sample rate (default 44100)")
        ->type_name("HZ")
        ->check(WholeNumberFrom(8000, 384000, "a sample rate"));
    play.add_option("--block", options.mBlockFrames, "frames per render call (default 512)")
        ->type_name("FRAMES")
        ->check(WholeNumberFrom(1, 4096, "a number of frames"));
    play.add_flag("--offline", options.mOffline, "render as fast as the destination takes it");
    play.add_option("--record", options.mRecordFile,
                    "record what arrives at the monitor as a MIDI file")
        ->type_name("OUT.mid");
    play.add_flag("--quiet", options.mQuiet, "print only the summary");
    play.add_flag("--unit-log", options.mUnitLog, "show the unit's own log");
    play.add_option("--preset", options.mPresetFile, "load this preset into the unit first")
        ->type_name("FILE.aupreset");
    play.add_option("--offset-ms", options.mOffsetMilliseconds,
                    "deliver to the destination this much later, or earlier when negative")
        ->type_name("MS")
        ->check(NumberFrom(-1000, 1000, "an offset in milliseconds"));
    AddUnitOption(play, mUnitText);
}

bool PlayCommandLine::Parsed() const
{
    return mCommand->parsed();
}

void PlayCommandLine::Finish()
{
    if (mProgram) {
        mOptions.mProgram = static_cast<Byte>(*mProgram);
    }
    if (mBankText) {
        mOptions.mBank = BankFromText(*mBankText);
    }
    if (mUnitText) {
        mOptions.mUnit = UnitFromText(*mUnitText);
    }
}
