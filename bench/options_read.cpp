// Benchmark: reading large options files, and what a 10 MB options file adds
// to the board's start-up.
//
// - read rate: options_load of a file of 200 000 distinct sections (10 MB,
//   600 000 lines) and of one section holding 80 000 distinct keys, in this
//   process, median of five loads;
// - start-up: exec to the first swapped frame (the bench shim's time stamp)
//   of the real program, without an options file and with the 10 MB one,
//   alternately, median of five runs each.
#include <vostrel/diag/diag.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>

#include <algorithm>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

constexpr int RUNS = 5;
constexpr int SECTIONS = 200000;
constexpr int KEYS = 80000;
const char CONF[] = "vostrel soundboard.conf";

static double now_s() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

static double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static bool write_text(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

// 200 000 sections of 50 bytes each: a 31-character name, one setting, the
// empty line.
static std::string sections_file() {
    std::string text;
    text.reserve(static_cast<size_t>(SECTIONS) * 50);
    char line[64];
    for (int i = 0; i < SECTIONS; i++) {
        snprintf(line, sizeof line, "[section_%06d_xxxxxxxxxxxxxxxx]\nvolume_x\t2\t255\n\n", i);
        text += line;
    }
    return text;
}

static std::string keys_file() {
    std::string text = "[options]\n";
    char line[64];
    for (int i = 0; i < KEYS; i++) {
        snprintf(line, sizeof line, "key_%06d\t0\t%d\n", i, i);
        text += line;
    }
    return text;
}

static int count_lines(const std::string &text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Median seconds of one options_load of the file, checked to have read it all.
static double time_load(const std::string &text, const char *section, const char *key) {
    std::vector<double> times;
    for (int run = 0; run < RUNS; run++) {
        double t0 = now_s();
        int ok = options_load();
        double t1 = now_s();
        if (!ok || !options_find(section, key, 0)) {
            fprintf(stderr, "options_load did not read the file (%zu bytes)\n", text.size());
            exit(1);
        }
        times.push_back(t1 - t0);
    }
    options_free();
    return median(times);
}

// Seconds from exec to the first swapped frame of the program started in
// dir; negative if it never showed one.
static double startup_s(const std::string &dir) {
    std::string trace = dir + "/trace.txt";
    unlink(trace.c_str());
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("LD_PRELOAD", SHIM_LIBRARY, 1);
        setenv("VOSTREL_BENCH_TRACE", trace.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(VOSTREL_BINARY, VOSTREL_BINARY, static_cast<char *>(nullptr));
        _exit(127);
    }
    long long begun = static_cast<long long>(start.tv_sec) * 1000000000LL + start.tv_nsec;
    long long swap = -1;
    for (int waited = 0; waited < 30000 && swap < 0; waited++) {
        usleep(1000);
        FILE *f = fopen(trace.c_str(), "r");
        if (!f) continue;
        char word[16];
        long long t;
        while (swap < 0 && fscanf(f, "%15s %lld", word, &t) == 2)
            if (strcmp(word, "swap") == 0) swap = t;
        fclose(f);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return swap < 0 ? -1 : static_cast<double>(swap - begun) * 1e-9;
}

int main() {
    char tmpl[] = "/tmp/vostrel-bench-options-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        return 1;
    }
    const std::string dir = tmpl;
    const std::string conf = dir + "/" + CONF;
    set_base_dir(dir.c_str());
    int status = 0;

    std::string big = sections_file();
    std::string keys = keys_file();
    if (!write_text(conf, keys)) status = 1;
    double keys_s = status ? 0 : time_load(keys, "options", "key_000000");
    if (!write_text(conf, big)) status = 1;
    double big_s = status ? 0 : time_load(big, "section_000000_xxxxxxxxxxxxxxxx", "volume_x");

    std::vector<double> bare, loaded;
    for (int run = 0; run < RUNS && !status; run++) {
        unlink(conf.c_str());
        bare.push_back(startup_s(dir));
        if (!write_text(conf, big)) status = 1;
        loaded.push_back(startup_s(dir));
    }
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) status = 1;
    if (status) {
        fprintf(stderr, "options benchmark: could not write its files under %s\n", tmpl);
        return 1;
    }
    for (double s : bare)
        if (s < 0) status = 1;
    for (double s : loaded)
        if (s < 0) status = 1;

    printf("| options read, %d sections (%.1f MB, %d lines), median of %d | %.0f ms, "
           "%.2f M lines/s | - | linear |\n",
           SECTIONS, static_cast<double>(big.size()) / 1e6, count_lines(big), RUNS, big_s * 1e3,
           count_lines(big) / big_s / 1e6);
    printf("| options read, %d keys in one section, median of %d | %.0f ms, %.2f M lines/s | - | "
           "linear |\n",
           KEYS, RUNS, keys_s * 1e3, count_lines(keys) / keys_s / 1e6);
    printf("| start-up with a %.0f MB options file, exec to first frame (median of %d) | %.0f ms | "
           "%.0f ms without the file | well under 1 s |\n",
           static_cast<double>(big.size()) / 1e6, RUNS, median(loaded) * 1e3, median(bare) * 1e3);
    if (status) fprintf(stderr, "options benchmark: a run showed no frame\n");
    return status;
}
