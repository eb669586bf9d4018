#include "FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_failing{false};

} // namespace

CFailingAllocations::CFailingAllocations()
{
    g_failing = true;
}

CFailingAllocations::~CFailingAllocations()
{
    g_failing = false;
}

// The runtime's own operator delete frees with free().
void* operator new(std::size_t size)
{
    if (!g_failing) {
        if (void* memory = std::malloc(size == 0 ? 1 : size))
            return memory;
    }
    throw std::bad_alloc();
}
