// Entry point of the Wine robustness tests; with --cycles-child N it plays one of the two
// processes that share a reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int CyclesChild(int cycles);

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--cycles-child") == 0)
        return CyclesChild(std::atoi(argv[2]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
