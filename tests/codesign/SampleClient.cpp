// Runs until a signal ends it, so a test can check it while it runs.
#include <unistd.h>

int main() {
    ::pause();
}
