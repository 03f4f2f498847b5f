// A program with one memory fault on purpose, named on its command line: the game's memcheck run
// must fail on each of them, which keeps that check honest.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Stores here keep the compiler from dropping the faulty code as unused.
void* volatile sink = nullptr;
volatile int intSink = 0;

bool asked(int argc, char** argv, const char* fault) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], fault) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (asked(argc, argv, "leak")) {
        sink = std::malloc(48);
        sink = nullptr;
    }
    if (asked(argc, argv, "invalid-read")) {
        const auto count = static_cast<std::size_t>(argc) + 8;
        auto* block = static_cast<volatile char*>(std::malloc(count));
        intSink = block[count]; // one past the end
        std::free(const_cast<char*>(block));
    }
    if (asked(argc, argv, "uninitialised")) {
        // Through the volatile store, so that the compiler cannot see the block was never written.
        sink = std::malloc(sizeof(int));
        auto* block = static_cast<int*>(sink);
        if (*block > 0) {
            std::puts("positive");
        }
        std::free(block);
    }
    return 0;
}
