// Unique ids in the RFC 4122 version-4 text form.
//
// The geometry objects and the host's objects take their ids from here: 36
// lower-case characters, "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" with y one
// of 8, 9, a, b. The ids come from one process-wide stream with a fixed
// seed, not from a random source: the k-th id a process makes is the same in
// every run, so the same work gives the same ids and the same saved files.
// The stream never repeats an id within a process (64 of the 122 free bits
// are a bijection of k).
//
// A file written by another run holds ids of the same stream, which this
// process may make later. Every id read from a file is therefore passed to
// reserveUuid, and the stream passes over it; an id read that this process
// made already is for the reader to check against the objects it holds.
//
// Thread-safety: makeUuid and reserveUuid may be called from any thread
// (ids made on several threads follow the order the threads draw them); the
// test switch below is a process-wide setting.
#pragma once

#include <cstdint>
#include <string>

namespace Platform {

// Length of the text form of an id, without terminator.
constexpr int uuidTextLength = 36;

// The next id of the stream as text. Returns the empty string while the
// test switch below is on (the caller then falls back to an id of its own).
std::string makeUuid();

// Marks an id read from a file (text of either case) as taken: when the
// stream would make it later, it passes over it. Other texts are ignored.
void reserveUuid(const std::string& text);

// The position the stream draws next (the first one is 1; a taken one is
// passed over), and the id the stream makes at a position; tests use them to
// know the ids ahead.
std::uint64_t nextUuidPosition();
std::string uuidAt(std::uint64_t position);

// The value of a hexadecimal digit of either case, or -1 for another
// character; the readers of id texts share it.
int hexDigitValue(char c);

// While an object of this class lives, makeUuid on the thread that made it
// draws from a side stream of its own (other fixed keys, its own count)
// instead of the process's stream. Objects made only to be written out
// (the curves of a debug dump, the placeholder of a missing curve) take
// their ids there: the ids of the work, and so the files it saves, are the
// same whether diagnostics are on or off. The side stream makes no id that
// the process's stream makes, and reserveUuid passes its ids by. Scopes nest.
class SideIdScope {
public:
    SideIdScope();
    ~SideIdScope();
    SideIdScope(const SideIdScope&) = delete;
    SideIdScope& operator=(const SideIdScope&) = delete;
};

// Tests make makeUuid fail to reach the fallback paths of its callers;
// false restores normal operation.
void setUuidFailureForTesting(bool fail);

} // namespace Platform
