// Memory made to run out on the test's own thread, one allocation at a time. While
// `t_allocationsBeforeFailure` is not negative, the library's allocations count it down and the one
// that finds it at zero fails (the count then reads -1). The system's own functions are left
// alone: on Windows they allocate from the system's heap, never the library's.
#pragma once

extern thread_local long t_allocationsBeforeFailure;
