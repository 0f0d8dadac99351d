#include "foundation/MatrixThreads.h"

#include "foundation/Matrix.h"
#include "foundation/Progress.h"
#include "foundation/Vector.h"

#include <algorithm>
#include <system_error>
#include <vector>

std::atomic<bool> multithreadingAllowed{false};
std::atomic<bool> matrixThreadsEnabled{false};

void resetMatrixThreadSwitches()
{
    multithreadingAllowed = false;
    matrixThreadsEnabled = false;
}

int processorCount()
{
    if (!multithreadingAllowed)
        return 1;
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(std::min(count, 1024u));
}

bool matrixThreadsActive()
{
    return multithreadingAllowed && matrixThreadsEnabled && processorCount() > 1;
}

namespace {

// First row of range k of `parts` ranges over `rows` rows; 64-bit so that
// rows * k cannot overflow.
int rangeStart(int rows, int k, int parts)
{
    return static_cast<int>(static_cast<long>(rows) * k / parts);
}

} // namespace

int runRowRangesOnThreads(int rows, int threadCount,
                          const std::function<void(int firstRow, int endRow)>& work)
{
    if (rows <= 0)
        return 0;
    threadCount = std::max(threadCount, 1);
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    int error = 0;
    for (int k = 0; k < threadCount; ++k) {
        const int first = rangeStart(rows, k, threadCount);
        const int end = rangeStart(rows, k + 1, threadCount);
        if (first >= end)
            continue;
        try {
            threads.emplace_back(work, first, end);
        } catch (const std::system_error& e) {
            error = e.code().value() != 0 ? e.code().value() : -1;
            break;
        }
    }
    for (std::thread& t : threads)
        t.join();
    return error;
}

double matrixRowTimes(const Matrix& A, int i, const Vector& x)
{
    if (A.type == FullMatrix) {
        // The summation of Matrix::multiply, so both paths agree bit for bit.
        return dotRange(A.rowData[i].data, x.data, A.cols);
    }
    double sum = 0.0;
    for (int j = 0; j < A.cols && j < x.n; ++j)
        sum += A.at(i, j) * x[j];
    return sum;
}

CAXTask::~CAXTask()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        startSignalled = true;
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

bool CAXTask::startThread()
{
    if (thread.joinable())
        return true;
    try {
        thread = std::thread(axTaskThreadProc, this);
    } catch (const std::system_error& e) {
        errorCode = e.code().value() != 0 ? e.code().value() : -1;
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
        doneSignalled = true;
        return false;
    }
    return true;
}

void CAXTask::signalStart()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        startSignalled = true;
    }
    changed.notify_all();
}

void CAXTask::resetDone()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!quit) // a worker that has left keeps done signalled for good
        doneSignalled = false;
}

void CAXTask::waitDone()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return doneSignalled; });
}

bool CAXTask::hasQuit()
{
    std::lock_guard<std::mutex> lock(mutex);
    return quit;
}

int axTaskThreadProc(CAXTask* task)
{
    if (!task)
        return 0;
    std::unique_lock<std::mutex> lock(task->mutex);
    auto cancelled = [task] { return task->progress && task->progress->isCancelled(); };
    while (!task->stop) {
        if (cancelled())
            break;
        task->changed.wait(lock, [task] { return task->startSignalled || task->stop; });
        task->startSignalled = false;
        if (task->stop || cancelled())
            break;
        // The rows are computed without the lock: the controller waits for
        // done and does not touch x or y meanwhile.
        lock.unlock();
        if (task->A && task->x && task->y) {
            const int end = std::min(task->endRow, task->y->n);
            for (int i = std::max(task->firstRow, 0); i < end; ++i)
                (*task->y)[i] = matrixRowTimes(*task->A, i, *task->x);
        }
        lock.lock();
        if (cancelled())
            break;
        task->doneSignalled = true;
        task->changed.notify_all();
    }
    task->quit = true;
    task->doneSignalled = true;
    task->changed.notify_all();
    return 0;
}

CAXControl::CAXControl(CAXTask** taskArray, int count)
{
    if (!taskArray || count <= 0) {
        delete[] taskArray;
        return;
    }
    tasks = taskArray;
    n = count;
    for (int k = 0; k < n; ++k)
        if (tasks[k])
            tasks[k]->resetDone();
}

CAXControl::~CAXControl()
{
    for (int k = 0; k < n; ++k)
        delete tasks[k];
    delete[] tasks;
}

bool CAXControl::run()
{
    if (n <= 0)
        return false;
    // Size the result before any worker writes to it; an x shorter than the
    // matrix row would be read past its end, so such a product is refused.
    for (int k = 0; k < n; ++k) {
        CAXTask* t = tasks[k];
        if (!t || !t->A || !t->x || !t->y)
            continue;
        if (t->A->type == FullMatrix && t->x->n < t->A->cols)
            return false;
        if (t->y->n < t->A->rows)
            t->y->resize(t->A->rows);
    }
    bool complete = true;
    for (int k = 0; k < n; ++k) {
        CAXTask* t = tasks[k];
        if (!t)
            continue;
        if (!t->hasThread() || t->hasQuit()) {
            complete = false;
            continue;
        }
        t->resetDone();
        t->signalStart();
    }
    for (int k = 0; k < n; ++k) {
        CAXTask* t = tasks[k];
        if (!t || !t->hasThread())
            continue;
        t->waitDone();
        if (t->hasQuit())
            complete = false;
    }
    return complete;
}

std::unique_ptr<CAXControl> makeAXControl(const Matrix& A, const Vector& x, Vector& y)
{
    if (!matrixThreadsActive() || A.type != FullMatrix || A.solveMethod != NoSolveMethod ||
        A.rows <= 0 || A.cols <= 0 || !A.rowData)
        return nullptr;
    const int count = processorCount();
    auto* tasks = new CAXTask*[count]();
    auto control = std::make_unique<CAXControl>(tasks, count);
    int previousEnd = 0;
    for (int k = 0; k < count; ++k) {
        auto* t = new CAXTask;
        tasks[k] = t;
        t->firstRow = previousEnd;
        t->endRow = rangeStart(A.rows, k + 1, count);
        previousEnd = t->endRow;
        t->A = &A;
        t->x = &x;
        t->y = &y;
        if (!t->startThread())
            return nullptr; // the control stops and deletes what was made
        t->resetDone();
    }
    return control;
}

Vector& multiplyWithPool(CAXControl* pool, const Matrix& A, const Vector& x, Vector& y)
{
    const bool boundHere = pool && pool->n > 0 && pool->tasks[0] && pool->tasks[0]->A == &A &&
                           pool->tasks[0]->x == &x && pool->tasks[0]->y == &y;
    if (boundHere && pool->run())
        return y;
    return A.multiply(x, y);
}
