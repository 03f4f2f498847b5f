// What the compiler and the STL's headers refer to in every module, with nothing to run.
#include <new>

extern "C" {
// Set by the compiler's references wherever floating point is used.
int _fltused = 0x9875;
// The instruction set the STL may assume: 0 is the x86-64 baseline, so it takes no lzcnt/tzcnt paths.
int __isa_available = 0;
}

// Apart from the allocation functions, which a program may replace.
namespace std {
const nothrow_t nothrow{};
}
