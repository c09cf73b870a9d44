// A stand-in for the updater program: it carries a product version and, when
// started with a file name, writes "started" into that file.
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc > 1) {
        if (FILE* f = std::fopen(argv[1], "w")) {
            std::fputs("started", f);
            std::fclose(f);
        }
    }
    return 0;
}
