// What one validation check works with while it runs in its child process: the component it
// looks at, a random source made from the run's seed and the check's name, and the channel on which
// the check's findings go to the parent (failures, a skip, a note for the report line).
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

// Ends a check at once: the rest of it cannot run (the unit cannot be opened, say).
class CheckAbort : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ValidationContext {
public:
    // Findings are written as lines to the file descriptor `report`. [host-thread]
    ValidationContext(AudioComponent component, std::uint64_t seed, const std::string& checkName,
                      int report);

    AudioComponent Component() const { return mComponent; }
    std::mt19937_64& Random() { return mRandom; }
    // A whole number from first to last, both included, from the random source.
    long RandomBetween(long first, long last);

    // Records a failure; the check goes on and fails when it ends. [any-thread]
    void Fail(const std::string& what);
    // Fails with `what` unless `condition` holds; returns `condition`. [any-thread]
    bool Expect(bool condition, const std::string& what);
    // The check cannot run here; it neither passes nor fails. [host-thread]
    void Skip(const std::string& why);
    // A figure or remark shown on the check's line when it passes. [host-thread]
    void Note(const std::string& remark);
    // Tells the parent that the check ran to its end. [host-thread]
    void Finish();

    int Failures() const { return mFailures; }

private:
    void Send(char kind, const std::string& text);

    AudioComponent mComponent;
    std::mt19937_64 mRandom;
    int mReport;
    int mFailures = 0;
};

// The seed a check's random source starts from: the run's seed mixed with the check's name, so that
// --only draws what the whole run draws.
std::uint64_t CheckSeed(std::uint64_t runSeed, const std::string& checkName);
