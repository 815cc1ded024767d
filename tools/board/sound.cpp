// The sounds of a board: decoded by sox (any format it reads), resampled by
// sox's resampler to the mixer's 44,100 Hz, trimmed of silence and brought to
// one loudness with libebur128, then stored as the WAV the program loads
// without conversion. Decodes run as many at once as there are processors.
#include "tools/board/maker.h"

#include <ebur128.h>

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Loudness: every sound to TARGET_LUFS, or, too short for a measure (under
// 0.4 s), its true peak to SHORT_PEAK_DB; never a true peak above PEAK_DB, so
// no sample clips; never more than MAX_GAIN_DB up.
constexpr double TARGET_LUFS = MAKER_TARGET_LUFS;
constexpr double SHORT_PEAK_DB = -9.0;
constexpr double PEAK_DB = -1.0;
constexpr double MAX_GAIN_DB = 30.0;
constexpr double SILENCE = 0.001; // -60 dBFS: quieter ends are trimmed
// Starts argv (argv[0] found on PATH) with stdout to /dev/null and stderr
// into err_path; its pid, or -1 if it could not start.
static pid_t start(const std::vector<std::string> &args, const std::string &err_path) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    int e = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return e == 0 ? pid : -1;
}

// The exit status of a started program, or -1 if it did not start or end.
static int finish(pid_t pid) {
    if (pid < 0) return -1;
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// sox's own words: its message lines joined, "sox FAIL formats: " style
// prefixes kept, so the user can look them up.
static std::string one_line(const std::string &text) {
    std::string s;
    for (char c : text)
        s += c == '\n' ? ' ' : c;
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// 1 if an Ogg file ends without its last page (the end-of-stream flag): cut
// short, which sox's Ogg reader passes over in silence.
static int ogg_cut_short(const std::string &path) {
    std::string bytes = maker_read_text(path);
    if (bytes.compare(0, 4, "OggS") != 0) return 0;
    size_t last = bytes.rfind("OggS");
    return last + 6 > bytes.size() || !(static_cast<uint8_t>(bytes[last + 5]) & 0x04);
}

static uint32_t le(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

// sox decoding sound k into float WAV at PAYLOAD_RATE in the work folder,
// resampled by its own resampler at its best quality; its pid. A full-scale
// source overshoots full scale once resampled, and sox clips a float output
// to full scale (with a warning): so sox works at half the level, exactly,
// and decode_finish doubles it back.
constexpr float DECODE_HEADROOM = 2.0f;

static pid_t decode_start(const std::string &path, const std::string &work, size_t k) {
    std::string tmp = work + "/decoded" + std::to_string(k) + ".wav";
    return start({"sox", "-V2", "--no-glob", "-R", path, "-t", "wav", "-e", "floating-point", "-b",
                  "32", tmp, "vol", "0.5", "rate", "-v", std::to_string(PAYLOAD_RATE)},
                 work + "/sox" + std::to_string(k) + ".err");
}

// The started decode of sound k as float frames (one or two channels: more
// are folded into two); 1, or 0 after refusing it.
static int decode_finish(pid_t pid, const std::string &path, const std::string &work, size_t k,
                         std::vector<float> *frames, int *channels) {
    std::string tmp = work + "/decoded" + std::to_string(k) + ".wav";
    std::string err = work + "/sox" + std::to_string(k) + ".err";
    int status = finish(pid);
    std::string said = one_line(maker_read_text(err));
    unlink(err.c_str());
    if (status != 0) unlink(tmp.c_str());
    if (status < 0) {
        maker_refuse("%s: sox is not installed (apt install sox libsox-fmt-all)", path.c_str());
        return 0;
    }
    if (status != 0) {
        maker_refuse("%s: not an audio file sox can read (%s)", path.c_str(), said.c_str());
        return 0;
    }
    if (!said.empty()) {
        unlink(tmp.c_str());
        maker_refuse("%s: decodes with errors, refused (%s)", path.c_str(), said.c_str());
        return 0;
    }
    if (ogg_cut_short(path)) {
        unlink(tmp.c_str());
        maker_refuse("%s: cut short (its Ogg stream ends without its last page); download it again",
                     path.c_str());
        return 0;
    }
    std::string w = maker_read_text(tmp);
    unlink(tmp.c_str());
    const uint8_t *b = reinterpret_cast<const uint8_t *>(w.data());
    size_t pos = 12;
    int source_channels = 0;
    while (pos + 8 <= w.size()) {
        uint32_t length = le(b + pos + 4, 4);
        if (memcmp(b + pos, "fmt ", 4) == 0 && length >= 16 && pos + 8 + 16 <= w.size())
            source_channels = static_cast<int>(le(b + pos + 10, 2));
        if (memcmp(b + pos, "data", 4) == 0) break;
        pos += 8 + length + (length & 1);
    }
    if (source_channels < 1 || pos + 8 > w.size()) {
        maker_refuse("%s: sox gave no sound for it", path.c_str());
        return 0;
    }
    size_t count = (w.size() - pos - 8) / 4 / static_cast<size_t>(source_channels);
    const uint8_t *data = b + pos + 8;
    *channels = source_channels == 1 ? 1 : 2;
    frames->resize(count * static_cast<size_t>(*channels));
    for (size_t i = 0; i < count; i++) {
        float v[2] = {0, 0};
        for (int c = 0; c < source_channels; c++) {
            float x;
            memcpy(&x,
                   data + (i * static_cast<size_t>(source_channels) + static_cast<size_t>(c)) * 4,
                   4);
            if (c < 2)
                v[c] += x;
            else // further channels half into each side
                v[0] += 0.5f * x, v[1] += 0.5f * x;
        }
        for (int c = 0; c < *channels; c++)
            (*frames)[i * static_cast<size_t>(*channels) + static_cast<size_t>(c)] =
                v[c] * DECODE_HEADROOM;
    }
    return 1;
}

// Leading and trailing frames below SILENCE in every channel are removed;
// 0 if nothing is louder.
static int trim(std::vector<float> *frames, int channels) {
    size_t n = frames->size() / static_cast<size_t>(channels);
    auto loud = [&](size_t i) {
        for (int c = 0; c < channels; c++)
            if (fabsf((*frames)[i * static_cast<size_t>(channels) + static_cast<size_t>(c)]) >
                SILENCE)
                return true;
        return false;
    };
    size_t first = 0;
    while (first < n && !loud(first))
        first++;
    if (first == n) return 0;
    size_t end = n;
    while (end > first && !loud(end - 1))
        end--;
    frames->erase(frames->begin() + static_cast<long>(end) * channels, frames->end());
    frames->erase(frames->begin(), frames->begin() + static_cast<long>(first) * channels);
    return 1;
}

// The gain in dB that brings a sound to the board's loudness, and what was
// measured, for the line that reports it.
static double loudness_gain(const std::vector<float> &frames, int channels, std::string *said) {
    ebur128_state *st = ebur128_init(static_cast<unsigned>(channels), PAYLOAD_RATE,
                                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!st) return 0.0;
    ebur128_add_frames_float(st, frames.data(), frames.size() / static_cast<size_t>(channels));
    double lufs = -HUGE_VAL, peak = 0.0;
    ebur128_loudness_global(st, &lufs);
    for (int c = 0; c < channels; c++) {
        double p = 0;
        if (ebur128_true_peak(st, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS && p > peak)
            peak = p;
    }
    ebur128_destroy(&st);
    double peak_db = peak > 0 ? 20.0 * log10(peak) : -HUGE_VAL;
    char text[96];
    double gain;
    if (isfinite(lufs) &&
        frames.size() / static_cast<size_t>(channels) >= PAYLOAD_RATE * 4 / 10) {
        gain = TARGET_LUFS - lufs;
        snprintf(text, sizeof text, "%.1f LUFS", lufs);
    } else {
        gain = SHORT_PEAK_DB - peak_db;
        snprintf(text, sizeof text, "too short for a loudness measure, peak %.1f dBFS", peak_db);
    }
    if (gain > PEAK_DB - peak_db) gain = PEAK_DB - peak_db;
    if (gain > MAX_GAIN_DB) gain = MAX_GAIN_DB;
    *said = text;
    return gain;
}

// The clip in the mixer's own format, which the program plays where it lies
// in the mapped board: a RIFF WAVE of one "fmt " (PCM, 16-bit, stereo,
// PAYLOAD_RATE) and one "data" chunk. A mono sound's every sample goes to
// both sides, as the mixer itself would spread it.
static std::vector<uint8_t> wav_of(const std::vector<float> &frames, int source_channels,
                                   double gain) {
    constexpr int channels = 2;
    size_t data = frames.size() / static_cast<size_t>(source_channels) * channels * 2;
    std::vector<uint8_t> w(44 + data);
    auto put = [&w](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            w[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    memcpy(&w[0], "RIFF", 4);
    put(4, static_cast<uint32_t>(36 + data), 4);
    memcpy(&w[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, static_cast<uint32_t>(channels), 2);
    put(24, PAYLOAD_RATE, 4);
    put(28, static_cast<uint32_t>(PAYLOAD_RATE * channels * 2), 4);
    put(32, static_cast<uint32_t>(channels * 2), 2);
    put(34, 16, 2);
    memcpy(&w[36], "data", 4);
    put(40, static_cast<uint32_t>(data), 4);
    float g = static_cast<float>(pow(10.0, gain / 20.0));
    size_t copies = static_cast<size_t>(channels / source_channels);
    for (size_t i = 0; i < frames.size(); i++) {
        float v = frames[i] * g * 32767.0f;
        long s = lrintf(v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v);
        for (size_t c = 0; c < copies; c++)
            put(44 + 2 * (i * copies + c), static_cast<uint32_t>(s), 2);
    }
    return w;
}

void maker_process_sounds(const MakerOptions &o, std::vector<MakerSound> *all,
                          uint64_t *total_bytes_out, double *total_seconds_out,
                          std::vector<std::string> *gains) {
    std::vector<MakerSound> &sounds = *all;
    struct stat st;
    const char *tmpdir = getenv("TMPDIR");
    std::string work_pattern =
        std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/vostrel-make-board-XXXXXX";
    std::vector<char> work_name(work_pattern.begin(), work_pattern.end());
    work_name.push_back(0);
    if (!mkdtemp(work_name.data())) {
        maker_refuse("%s: no temporary folder (%s)", MAKER_NAME, strerror(errno));
        return;
    }
    std::string work = work_name.data();
    uint64_t total_bytes = 0;
    double total_seconds = 0;
    // As many sox decodes run at once as there are processors.
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    size_t window = cpus < 1 ? 1 : cpus > 8 ? 8 : static_cast<size_t>(cpus);
    std::vector<pid_t> decoding(sounds.size(), -1);
    std::vector<int> empty(sounds.size(), 0);
    auto launch = [&](size_t k) {
        if (k >= sounds.size()) return;
        std::string path = sounds[k].folder + "/" + sounds[k].name;
        if (stat(path.c_str(), &st) == 0 && st.st_size == 0)
            empty[k] = 1;
        else
            decoding[k] = decode_start(path, work, k);
    };
    for (size_t k = 0; k < window; k++)
        launch(k);
    for (size_t k = 0; k < sounds.size(); k++) {
        MakerSound &s = sounds[k];
        std::string path = s.folder + "/" + s.name;
        std::vector<float> frames;
        int decoded =
            empty[k] ? 0 : decode_finish(decoding[k], path, work, k, &frames, &s.channels);
        launch(k + window);
        if (empty[k]) {
            maker_refuse("%s: empty file; every sound needs something to hear", path.c_str());
            continue;
        }
        if (!decoded) continue;
        int has_sound = o.keep_silence ? 1 : trim(&frames, s.channels);
        if (o.keep_silence) {
            std::vector<float> copy = frames;
            has_sound = trim(&copy, s.channels);
        }
        if (!has_sound) {
            maker_refuse("%s: silent (nothing above -60 dBFS); every sound needs something to hear",
                         path.c_str());
            continue;
        }
        s.seconds = static_cast<double>(frames.size()) / s.channels / PAYLOAD_RATE;
        uint64_t bytes = 44 + frames.size() / static_cast<size_t>(s.channels) * 4; // stored stereo
        total_bytes += bytes;
        total_seconds += s.seconds;
        if (total_bytes > PAYLOAD_MAX_BYTES) continue;
        double gain = 0;
        if (o.keep_levels) {
            // As it is, but never clipped: a source at full scale can
            // overshoot it once resampled.
            float peak = 0;
            for (float v : frames)
                peak = fabsf(v) > peak ? fabsf(v) : peak;
            if (peak > 1.0f) gain = -20.0 * log10(static_cast<double>(peak));
        } else {
            std::string measured;
            gain = loudness_gain(frames, s.channels, &measured);
            char line[512];
            snprintf(line, sizeof line, "%s: gain %+.1f dB (%s)", path.c_str(), gain,
                     measured.c_str());
            gains->push_back(line);
        }
        s.wav = wav_of(frames, s.channels, gain);
    }
    rmdir(work.c_str());
    *total_bytes_out = total_bytes;
    *total_seconds_out = total_seconds;
}
