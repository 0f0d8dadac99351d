// Stopwatches: the abstract TimerInterface and the StopUhr that reads the
// monotonic wall-clock tick source, plus the process-wide stopwatch.
//
// A watch accumulates the ticks of every running stretch (start .. stop) and
// reports them as ticks or milliseconds. Its text form (operator<<) is written
// only when the switch FENWO_TIMER is set.
//
// Ownership: the label is not copied; it must outlive the watch (callers pass
// string literals).
// Thread-safety: a watch belongs to the thread that uses it; nothing locks.
#pragma once

#include <ostream>

class TimerInterface {
public:
    virtual ~TimerInterface() = default;

    // Starts a stopped watch and returns true; a running watch keeps its start
    // and the call returns false.
    virtual bool start();

    // Adds the running stretch to the accumulated ticks and stops; a stopped
    // watch is left unchanged and the call returns false.
    virtual bool stop();

    // Same as start() / stop().
    virtual bool resume();
    virtual bool pause();

    virtual double elapsedTicks() const = 0;
    virtual double ticksToMilliseconds(const double& ticks) const = 0;
    virtual double elapsedMilliseconds() const = 0;
    virtual double now() const = 0;
    virtual double ticksSinceStart() const = 0;

    bool isRunning() const { return m_running; }
    bool isQuiet() const { return m_quiet; }

    // The label, null when the watch has none.
    const char* getLabel() const { return m_label; }

protected:
    TimerInterface(const char* label, bool quiet) : m_quiet(quiet), m_label(label) {}

    bool m_running = false;
    bool m_quiet = false;
    const char* m_label = nullptr;
    double m_startTicks = 0.0;
    double m_accumulatedTicks = 0.0;
};

class StopUhr : public TimerInterface {
public:
    // A watch with the given label (not copied, may be null); started at once
    // when startNow is set. Unless quiet, the destructor writes the watch and a
    // line end to standard output (only when FENWO_TIMER is set).
    explicit StopUhr(bool startNow = true, const char* label = nullptr, bool quiet = false);
    ~StopUhr() override;

    StopUhr(const StopUhr&) = default;
    StopUhr& operator=(const StopUhr&) = default;

    // Accumulated ticks plus the running stretch; never negative.
    double elapsedTicks() const override;
    double ticksToMilliseconds(const double& ticks) const override;
    double elapsedMilliseconds() const override;

    // The current reading of the tick source.
    double now() const override;

    // Ticks of the running stretch (less the cost of one reading); 0 when
    // stopped.
    double ticksSinceStart() const override;

    // Discards the accumulated ticks and runs from now on.
    void restart();

    double getTicksPerSecond() const { return m_ticksPerSecond; }
    bool isHighResolution() const { return m_highResolution; }

private:
    bool m_highResolution = false;
    double m_ticksPerSecond = 1000.0;
    double m_readOverheadTicks = 0.0;
};

// Text form, written only when FENWO_TIMER is set: "label: " when the watch
// has a label, then "elapsed seconds = S" above 5 s, "elapsed milliseconds = M"
// above 0.01 ms, else "elapsed ticks=T". No line end.
std::ostream& operator<<(std::ostream& os, const StopUhr& watch);

// The process-wide stopwatch, started at its first use, without label and
// quiet. It is never destroyed, so it can be used from any static object.
StopUhr& globalStopUhr();
