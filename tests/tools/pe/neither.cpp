// An ordinary program: neither engine pattern appears anywhere in it.
#include <cstdio>

int main() {
    std::puts("nothing to find here");
    return 0;
}
