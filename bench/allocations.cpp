#include "allocations.h"

#include <cstdlib>
#include <new>

thread_local std::uint64_t t_allocations = 0;

void* operator new(std::size_t size) {
    ++t_allocations;
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++t_allocations;
    return std::malloc(size != 0 ? size : 1);
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
