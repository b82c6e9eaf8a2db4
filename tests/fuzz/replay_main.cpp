// Runs a fuzz target once on each file named on the command line (or each file in each folder
// named): the regression replay of the saved corpora and crash inputs, without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

int RunFile(const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    // An exact-size heap copy, so that a read one byte past the input is caught.
    std::uint8_t *copy = new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)];
    for (std::size_t i = 0; i < bytes.size(); ++i) copy[i] = bytes[i];
    LLVMFuzzerTestOneInput(copy, bytes.size());
    delete[] copy;
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    int failures = 0;
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) continue;  // a folder without saved inputs yet
        if (!S_ISDIR(st.st_mode)) {
            failures += RunFile(argv[i]);
            ++inputs;
            continue;
        }
        DIR *dir = opendir(argv[i]);
        if (dir == nullptr) continue;
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || name == "README.md") continue;
            failures += RunFile(std::string(argv[i]) + "/" + name);
            ++inputs;
        }
        closedir(dir);
    }
    std::printf("%d inputs replayed\n", inputs);
    return failures == 0 ? 0 : 1;
}
