// A fuzz target with a fault on purpose for each input that names one. The fuzz runs' command line
// must turn every one of them into a failed run that names the fault and keeps the input.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Stores here keep the compiler from dropping the faulty code as unused.
void* volatile sink = nullptr;
volatile int intSink = 0;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input == "heap-overflow") {
        char* buffer = new char[size];
        std::memcpy(buffer, data, size);
        intSink = buffer[size]; // one past the end
        delete[] buffer;
    } else if (input == "signed-overflow") {
        volatile int big = INT_MAX;
        intSink = big + static_cast<int>(size);
    } else if (input == "leak") {
        sink = new int[16]{};
        sink = nullptr;
    } else if (input == "hang") {
        while (intSink >= 0) {
            intSink = intSink == INT_MAX ? 0 : intSink + 1;
        }
    } else if (input == "huge-allocation") {
        // Beyond the run's memory limit.
        void* block = std::malloc(std::size_t{3} << 30);
        sink = block;
        std::free(block);
    }
    return 0;
}
