// Optional worker threads for the matrix-vector products of the conjugate-
// gradient solvers.
//
// A product y = A x can be split by rows over workers that write disjoint row
// ranges of y and only read A and x. Two process-wide switches guard this
// mode: `multithreadingAllowed` (cleared when the host loads the plug-in) and
// `matrixThreadsEnabled` (set by nothing in the system). Both start false, so
// every product runs on the calling thread unless a caller sets both. Each
// row's value is computed exactly as the serial product computes it, so the
// threaded mode gives the same numbers bit for bit.
//
// Two forms: `runRowRangesOnThreads` starts one-shot threads for one product
// (the sparse least-squares solver); `CAXTask` / `CAXControl` keep a pool of
// workers for a whole dense CG solve, one `run` per product.
//
// Ownership: a `CAXControl` owns its task array and the tasks; a task borrows
// its matrix, vectors and progress sink, which must outlive it.
// Thread-safety: the switches are atomics; a pool is driven by one thread at
// a time; the caller must not touch x or y while `run` is in progress.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CProgress;
class Matrix;
class Vector;

// Process-wide switches of the threaded matrix products; both false at start.
extern std::atomic<bool> multithreadingAllowed;
extern std::atomic<bool> matrixThreadsEnabled;

// Puts both switches back to their start state (false).
void resetMatrixThreadSwitches();

// 1 while `multithreadingAllowed` is clear, else the number of processors of
// the machine (at least 1).
int processorCount();

// True when both switches are set and more than one processor is available:
// the condition under which the products are split over threads.
bool matrixThreadsActive();

// Calls work(firstRow, endRow) for `threadCount` row ranges
// [rows k / threadCount, rows (k + 1) / threadCount) on one thread each (a
// range that comes out empty is not called) and waits for all of them.
// Returns 0 on success. When a thread cannot be created, the threads already
// started are joined and the system's error code (non-zero) is returned; the
// ranges of the missing threads have then not been worked on.
int runRowRangesOnThreads(int rows, int threadCount,
                          const std::function<void(int firstRow, int endRow)>& work);

// Row i of a dense matrix times x, summed exactly as `Matrix::multiply` sums
// it for an unfactorised full matrix (other types through `Matrix::at`, in
// column order).
double matrixRowTimes(const Matrix& A, int i, const Vector& x);

// One worker of the dense product pool: computes y[i] = row_i . x for the rows
// [firstRow, endRow) each time it is started.
class CAXTask {
public:
    CAXTask() = default;
    // Stops the worker (if running) and waits for its thread to end.
    virtual ~CAXTask();

    CAXTask(const CAXTask&) = delete;
    CAXTask& operator=(const CAXTask&) = delete;

    int firstRow = 0;
    int endRow = 0;
    const Matrix* A = nullptr;
    const Vector* x = nullptr;
    Vector* y = nullptr;
    CProgress* progress = nullptr; // polled for cancellation; null by default

    // Starts the worker thread; it waits for `start`. False when the thread
    // cannot be created (the task then has no thread, `errorCode` says why).
    bool startThread();
    bool hasThread() const { return thread.joinable(); }
    int errorCode = 0;

    // Event operations, all thread-safe.
    void signalStart();
    void resetDone();
    void waitDone();
    // True once the worker has left its loop (stopped or cancelled).
    bool hasQuit();

private:
    friend int axTaskThreadProc(CAXTask* task);

    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    bool startSignalled = false; // auto reset: consumed by the worker
    bool doneSignalled = true;   // manual reset, signalled at creation
    bool quit = false;
};

// The worker procedure: returns 0 at once for a null task or a stopped one;
// otherwise waits for start, computes its rows, signals done, and repeats
// until stopped or until the task's progress sink reports cancellation. On
// leaving it marks the task as quit and signals done, so nobody waits on it.
int axTaskThreadProc(CAXTask* task);

// Drives a pool of `CAXTask`s for one dense solve.
class CAXControl {
public:
    // Takes ownership of `tasks` (an array made with new[]) and of every task
    // in it (made with new); resets every task's done event. n <= 0 or a null
    // array gives a control without tasks.
    CAXControl(CAXTask** tasks, int n);
    // Stops and deletes every task, then the array.
    virtual ~CAXControl();

    CAXControl(const CAXControl&) = delete;
    CAXControl& operator=(const CAXControl&) = delete;

    // One product: starts every task and waits until each has signalled done.
    // y is sized to the matrix's rows first. False when the control has no
    // tasks, when x is shorter than a full matrix's rows, or when a task has
    // quit (cancelled, or without thread): y is then not complete.
    bool run();

    int n = 0;
    CAXTask** tasks = nullptr;
};

// A pool for products y = A x of an unfactorised full matrix, one task per
// processor (rows A.rows k / n .. A.rows (k + 1) / n), threads started. Null -
// the caller multiplies serially - unless `matrixThreadsActive()`, for other
// matrix types, for an empty matrix, or when a thread cannot be created (the
// tasks already made are stopped and deleted). The caller owns the result;
// A, x and y must outlive it.
std::unique_ptr<CAXControl> makeAXControl(const Matrix& A, const Vector& x, Vector& y);

// y = A x through the pool when there is one, it was made for exactly these
// A, x and y, and its run completes; else through `Matrix::multiply`.
// Returns y.
Vector& multiplyWithPool(CAXControl* pool, const Matrix& A, const Vector& x, Vector& y);
