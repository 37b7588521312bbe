// Says which bitness ran it. The scripts run it before a Wine leg: a loader
// that cannot really run this bitness exits without printing this line.
#include <cstdio>

int main() {
    std::printf("quenfold-probe %d\n", static_cast<int>(sizeof(void*) * 8));
    return 0;
}
