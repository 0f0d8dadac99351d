#pragma once
// CRandom15: a small seedable generator of 15-bit values 0 .. 32767, the
// linear congruential generator of the C standard's portable example. The
// mesh algorithms draw their random picks from it instead of the C
// library's rand(), whose range differs between platforms (a pick scaled by
// 32767 would land past the last cell where rand() reaches 2^31 - 1), so a
// seeded run gives the same picks everywhere.
//
// Ownership: plain values. Thread-safety: one generator per thread; the
// process-wide one is thread-local.

#include <cstdint>

class CRandom15 {
public:
    static constexpr int maxValue = 32767;

    explicit CRandom15(std::uint32_t seed = 1) : state(seed) {}

    // Restarts the sequence; the same seed gives the same values.
    void seed(std::uint32_t s) { state = s; }

    // The next value in 0 .. maxValue.
    int next()
    {
        state = state * 1103515245u + 12345u;
        return int((state / 65536u) % 32768u);
    }

private:
    std::uint32_t state;
};

// The generator of the calling thread used by the mesh algorithms (seed 1
// at first use); tests seed it for reproducible runs.
CRandom15& globalRandom15();
