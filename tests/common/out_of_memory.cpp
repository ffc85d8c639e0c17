#include "out_of_memory.h"

#include <celdor_platform/notebook.h>

#include <cstdlib>
#include <new>

thread_local long t_allocationsBeforeFailure = -1;

namespace {
bool FailThisOne() {
    if (t_allocationsBeforeFailure < 0 || celdor::sim::InSystemCall()) {
        return false;
    }
    return t_allocationsBeforeFailure-- == 0;
}
} // namespace

void* operator new(std::size_t size) {
    void* memory = FailThisOne() ? nullptr : std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return FailThisOne() ? nullptr : std::malloc(size != 0 ? size : 1);
}
// Memory from malloc goes back to free; the compiler cannot tell that these pair up.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop
