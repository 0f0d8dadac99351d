#include "foundation/Random15.h"

CRandom15& globalRandom15()
{
    thread_local CRandom15 generator;
    return generator;
}
