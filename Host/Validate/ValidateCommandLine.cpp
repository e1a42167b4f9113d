#include "ValidateCommandLine.h"

#include "CommandLine/CommandLineChecks.h"
#include "ValidationChecks.h"

// The stand-in's reading of four-character codes, shared with its bundle manifests.
#include "FourCharCode.h"

#include <CLI/CLI.hpp>

#include <memory>

CLI::App* AddValidateCommand(CLI::App& app, ValidateOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "validate", "runs the validator's tests on a unit; exit status 0 only if all pass");
    // The texts live as long as the command line does.
    auto codes = std::make_shared<std::vector<std::string>>();
    command->add_option("TYPE SUBTYPE MANU", *codes, "the unit, three four-character codes")
        ->expected(0, 3);
    command
        ->add_option("--strictness", options.mStrictness,
                     "run the tests of this level and below (1 to 10, default 5)")
        ->type_name("N")
        ->check(WholeNumberFrom(1, ValidateOptions::kMostStrict, "a strictness"));
    command->add_option("--seed", options.mSeed, "seed of the random parts, to repeat a run")
        ->type_name("N");
    command->add_option("--only", options.mOnly, "run this test alone, whatever the strictness")
        ->type_name("TEST")
        ->check([](const std::string& name) {
            return FindValidationCheck(name) != nullptr
                       ? std::string()
                       : "no test is named \"" + name + "\" (see --list)";
        });
    command->add_flag("--list", options.mList, "print every test with its description");
    command->add_flag("--unit-output", options.mUnitOutput,
                      "show what the unit writes to standard output and error");
    command->parse_complete_callback([codes, &options] {
        if (options.mList)
            return;
        if (codes->size() != 3)
            throw CLI::ValidationError("TYPE SUBTYPE MANU",
                                       "three four-character codes are expected");
        OSType* fields[] = {&options.mUnit.componentType, &options.mUnit.componentSubType,
                            &options.mUnit.componentManufacturer};
        for (size_t i = 0; i < 3; ++i)
            if (!FourCharCodeFromText((*codes)[i], *fields[i]))
                throw CLI::ValidationError("TYPE SUBTYPE MANU",
                                           "\"" + (*codes)[i] + "\" is not four characters");
    });
    return command;
}
