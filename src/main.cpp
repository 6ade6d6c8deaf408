// Program entry: replaced by the real start-up once the window model exists.
#include <cstdio>

int main() {
    std::puts("Sendrix");
    return 0;
}
