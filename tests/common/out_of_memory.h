// Memory made to run out for one thread, through the replaced operator new of the contract tests
// (support/logger_test.cpp): while t_outOfMemory is set every allocation the thread makes fails;
// while t_allocationsBeforeFailure is not negative, that many allocations succeed and the next
// one fails (once).
#pragma once

extern thread_local bool t_outOfMemory;
extern thread_local int t_allocationsBeforeFailure;
