// A sectioned profiler: one stopwatch for the whole run and 50 section
// counters that the owner fills with the ticks spent in each section, either
// directly (addSectionTicks), by start/stop pairs, or with a scoped CTP.
//
// The report (operator<<) is written only when the switch FENWO_PROFILER is
// set; the destructor writes it to standard output.
//
// Ownership: the label is not copied; it must outlive the profiler.
// Thread-safety: a profiler belongs to the thread that uses it.
#pragma once

#include "foundation/StopUhr.h"

#include <ostream>

class CSimpleProfiler {
public:
    static constexpr int sectionCount = 50;

    // Starts the profiler's stopwatch at once; all sections are 0.
    explicit CSimpleProfiler(const char* label = nullptr);

    // Stops the stopwatch and writes the report to standard output.
    ~CSimpleProfiler();

    CSimpleProfiler(const CSimpleProfiler&) = delete;
    CSimpleProfiler& operator=(const CSimpleProfiler&) = delete;

    // The whole-run stopwatch (quiet: it reports only inside the report).
    StopUhr& getTimer() { return m_timer; }
    const StopUhr& getTimer() const { return m_timer; }

    // The current tick reading of the stopwatch's clock.
    double now() const { return m_timer.now(); }

    // Adds ticks to section i. False (nothing changed) when i is not 0..49.
    bool addSectionTicks(int i, double ticks);

    // Remembers the current ticks as the start of section i / adds the ticks
    // since that start to section i. False when i is not 0..49.
    bool startSection(int i);
    bool stopSection(int i);

    // The ticks of section i; 0 when i is not 0..49.
    double getSectionTicks(int i) const;

private:
    struct Section {
        double startTicks = 0.0;
        double stopTicks = 0.0;
    };

    StopUhr m_timer;
    Section m_sections[sectionCount];
    double m_sectionTicks[sectionCount] = {};
};

// Report, written only when FENWO_PROFILER is set: one line
// "i-th sub=M ms. portion=P %" per section with ticks, then
// "other = M ms. " for the rest of the run, then the stopwatch in its text
// form; each followed by a line end.
std::ostream& operator<<(std::ostream& os, const CSimpleProfiler& profiler);

// Times one scope: records the profiler's current ticks when constructed and
// adds the ticks elapsed to the given section when destroyed.
class CTP {
public:
    CTP(CSimpleProfiler& profiler, int section);
    ~CTP();

    CTP(const CTP&) = delete;
    CTP& operator=(const CTP&) = delete;

private:
    CSimpleProfiler& m_profiler;
    int m_section;
    double m_startTicks;
};
