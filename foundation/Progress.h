// Progress and cancel sinks handed to long computations.
//
// CProgress is the interface: a computation calls begin(from, to), then step(n)
// as it works, and polls isCancelled() to stop early. CSimpleProgress prints a
// percentage with an estimate of the remaining time to standard output;
// CVezadProgress serves computations on a host worker thread: it only counts
// and takes its cancel state from the host's keep-running query
// (platform/KeepRunning.h).
//
// Ownership: sinks are owned by whoever creates them and are passed around
// as non-owning pointers. The label is copied.
// Thread-safety: a sink belongs to the thread that steps it; nothing locks.
#pragma once

#include "foundation/StopUhr.h"

#include <string>

class CProgress {
public:
    virtual ~CProgress() = default;

    // True when the computation should stop.
    virtual bool isCancelled() = 0;

    // Starts a range of work from `from` to `to` (a range with to <= from
    // counts as a range of 1).
    virtual void begin(int from, int to) = 0;

    // Reports n more units of work done.
    virtual void step(int n) = 0;

    // Goes back to the start of the range.
    virtual void reset(int) = 0;

    // Sets the label shown with the progress; null or empty clears it.
    virtual bool setLabel(const char* label) = 0;

    // The label, null when there is none.
    virtual const char* getLabel() const = 0;

    virtual void setCancelled(bool cancelled) = 0;
};

class CSimpleProgress : public CProgress {
public:
    CSimpleProgress();
    ~CSimpleProgress() override = default;

    CSimpleProgress(const CSimpleProgress&) = delete;
    CSimpleProgress& operator=(const CSimpleProgress&) = delete;

    bool isCancelled() override;

    // Stores the range, sets the work done to `from`, re-arms the printing and
    // restarts the clock of the time estimate.
    void begin(int from, int to) override;

    // Adds n to the work done and recomputes the percentage and the remaining
    // seconds. Each time the percentage passes the print threshold one line
    // "[label ]P% done, finish in S seconds.   " goes to standard output (when
    // printing is on) and the threshold moves to P + 1; so the first line
    // comes at 2 % and at most every second percent after.
    void step(int n) override;

    // The work done goes back to the start of the range.
    void reset(int) override;

    bool setLabel(const char* label) override;
    const char* getLabel() const override;
    void setCancelled(bool cancelled) override;

    // Percentage of the range done at the last step.
    int getPercent() const { return m_percent; }
    int getDone() const { return m_done; }
    int getFrom() const { return m_from; }
    int getTo() const { return m_to; }

    // Estimate of the seconds still needed, made at the last step.
    double getRemainingSeconds() const { return m_remainingSeconds; }

    // Turns the progress lines on standard output on or off (on by default).
    void setPrint(bool print) { m_print = print; }
    bool getPrint() const { return m_print; }

protected:
    int m_from = 0;
    int m_to = 0;
    int m_done = 0;
    int m_printThreshold = 1;
    int m_percent = 0;
    std::string m_label;
    double m_remainingSeconds = 0.0;
    bool m_print = true;
    StopUhr m_timer{true, nullptr, true};
    bool m_cancelled = false;
};

class CVezadProgress : public CSimpleProgress {
public:
    // True when cancelled through setCancelled or when the host's keep-running
    // query answers false.
    bool isCancelled() override;

    // Adds n to the work done; prints nothing.
    void step(int n) override;
};
