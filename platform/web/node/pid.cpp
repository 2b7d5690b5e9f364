// Linked into the web build's test programs, which run under node: each
// process gets its own id (Emscripten answers 42 to all), so tests that name
// temporary folders after it do not meet when ctest runs them side by side.
#include <emscripten/emscripten.h>
#include <unistd.h>

EM_JS(int, ZarnNodeProcessId, (), { return process.pid; });

pid_t getpid(void)
{
    return ZarnNodeProcessId();
}
