// Loads the processor for the timing benchmark: busy threads, two per core unless told, each
// spinning until the given number of seconds has passed.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: timing_load SECONDS [THREADS]\n");
        return 2;
    }
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(long(std::atof(argv[1]) * 1000));
    const unsigned threads = argc > 2 ? unsigned(std::atoi(argv[2]))
                                      : 2 * std::max(1u, std::thread::hardware_concurrency());
    std::atomic<unsigned long> spins{0};
    std::vector<std::thread> busy;
    for (unsigned n = 0; n < threads; ++n)
        busy.emplace_back([&] {
            unsigned long count = 0;
            while (std::chrono::steady_clock::now() < until)
                ++count;
            spins += count;
        });
    for (std::thread& thread : busy)
        thread.join();
    return spins.load() > 0 ? 0 : 1;
}
