#pragma once

// While one exists, every allocation through the global operator new fails with
// std::bad_alloc, on every thread: shows which code keeps memory exhaustion in. Its source file
// replaces the global operator new of the test binary that it is linked into.
class CFailingAllocations {
public:
    CFailingAllocations();
    ~CFailingAllocations();
    CFailingAllocations(const CFailingAllocations&) = delete;
    CFailingAllocations& operator=(const CFailingAllocations&) = delete;
};
