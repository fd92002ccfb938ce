// Runs until its standard input closes, so a test can check it while it runs and end
// it by closing the pipe.
#include <unistd.h>

int main() {
    if (::write(STDOUT_FILENO, "r", 1) != 1) {
        return 1;
    }
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
