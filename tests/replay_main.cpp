// Replays a fuzz target's corpus without libFuzzer: every file in the folder
// given on the command line (or each file argument) is fed to
// LLVMFuzzerTestOneInput once. Under the sanitizer build this turns the saved
// hostile inputs into an ordinary test.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int run_file(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<uint8_t> bytes;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

int main(int argc, char **argv) {
    int ran = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            ran += run_file(argv[i]);
            continue;
        }
        DIR *d = opendir(argv[i]);
        if (!d) continue;
        while (dirent *e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            ran += run_file(std::string(argv[i]) + "/" + e->d_name);
        }
        closedir(d);
    }
    printf("replayed %d inputs\n", ran);
    return ran > 0 ? 0 : 1;
}
