// A program that crashes, to show that a crash under the test session fails its test: Wine's
// debugger would otherwise catch it and end the program with status 0.
#include <cstdio>

int main() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    std::puts("not reached");
    return 0;
}
