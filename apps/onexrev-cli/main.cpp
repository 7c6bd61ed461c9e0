#include <cstdio>
int main() {
    std::puts("onexrev-cli: not built yet");
    return 1;
}
