// A gnuplot that reads its script and draws nothing, for the Windows builds' test that
// lumhost.exe runs the gnuplot on the PATH and checks what it drew.
#include <cstdio>

int main() {
    char chunk[4096];
    while (std::fread(chunk, 1, sizeof chunk, stdin) > 0) {
    }
}
