#include <cstdio>
int main() {
    std::puts("tarn-sim: not built yet");
    return 1;
}
