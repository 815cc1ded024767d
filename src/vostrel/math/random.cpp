// Math: the C library's random generator (seeded once at start-up), qsort
// front-ends with a direction flag, the extension of a file name, and
// single-source shortest distances over a dense weight matrix. Module state is
// the seed and the visited marks of the last search, both belonging to the
// main thread; the sorts keep no state and may run on any thread.
#include <vostrel/math/maths.h>

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

struct RandomState {
    unsigned seed = 0;
    int *visited = nullptr; // shortest-path marks, replaced only when n changes
    int visited_count = 0;
};
RandomState state;

// One comparator per direction: qsort passes no context, and a direction kept
// in module state would be changed under a sort running on another thread.
// Descending is the ascending comparison negated (so an unordered NaN pair
// compares as greater there).
int compare_floats(const void *pa, const void *pb) {
    float a, b;
    memcpy(&a, pa, sizeof a);
    memcpy(&b, pb, sizeof b);
    return a == b ? 0 : (a > b ? 1 : -1);
}
int compare_floats_descending(const void *pa, const void *pb) { return -compare_floats(pa, pb); }

// Plain subtraction, but wrapping: values more than 2^31 apart order wrongly
// (as documented) instead of overflowing.
int compare_ints(const void *pa, const void *pb) {
    int a, b;
    memcpy(&a, pa, sizeof a);
    memcpy(&b, pb, sizeof b);
    return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
}
int compare_ints_descending(const void *pa, const void *pb) { return compare_ints(pb, pa); }

int compare_names(const void *pa, const void *pb) {
    return strcmp(static_cast<const char *>(pa), static_cast<const char *>(pb));
}
// The sign only: strcmp may return INT_MIN, which has no negation.
int compare_names_descending(const void *pa, const void *pb) {
    int r = compare_names(pa, pb);
    return r > 0 ? -1 : (r < 0 ? 1 : 0);
}

} // namespace

void random_seed(void) {
    unsigned now = static_cast<unsigned>(time(nullptr));
    if (state.seed == 0)
        state.seed = now;
    else
        state.seed = static_cast<unsigned>(random_int(0, static_cast<int>(now >> 1)));
    srand(state.seed);
}

// The range is widened so that lo = INT_MIN, hi = INT_MAX cannot overflow.
int random_int(int lo, int hi) {
    if (!(lo < hi)) return lo;
    long long range = static_cast<long long>(hi) - lo + 1;
    return static_cast<int>(lo + rand() % range);
}

float random_float(float lo, float hi) {
    if (!(lo < hi)) return lo;
    float unit = static_cast<float>(rand()) / 2147483648.0f;
    return remap_clamped(unit, 0.0f, 1.0f, lo, hi);
}

void sort_floats(float *values, int count, int ascending) {
    if (count <= 0) return;
    qsort(values, static_cast<size_t>(count), sizeof(float),
          ascending ? compare_floats : compare_floats_descending);
}

void sort_ints(int *values, int count, int ascending) {
    if (count <= 0) return;
    qsort(values, static_cast<size_t>(count), sizeof(int),
          ascending ? compare_ints : compare_ints_descending);
}

void sort_records_by_name(void *records, size_t size, int count, int ascending) {
    if (count <= 0 || size == 0) return;
    qsort(records, static_cast<size_t>(count), size,
          ascending ? compare_names : compare_names_descending);
}

// Bounded: an extension longer than size - 1 characters is cut there.
int file_extension(const char *path, char *out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    const char *dot = strrchr(path, '.');
    if (!dot) return 0;
    size_t n = 0;
    for (const char *p = dot + 1; *p && n + 1 < size; p++)
        out[n++] = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    out[n] = 0;
    return n > 0;
}

// Dijkstra's algorithm, O(n^2). A source outside 0..n-1 is refused: it would
// write past the caller's distances.
int shortest_paths(const float *weights, float infinity, int n, int source, float *distances) {
    if (n < 2 || source < 0 || source >= n) return 0;
    if (n != state.visited_count) {
        free(state.visited);
        state.visited = static_cast<int *>(malloc(sizeof(int) * static_cast<size_t>(n)));
        if (!state.visited) {
            state.visited_count = 0;
            return 0;
        }
        state.visited_count = n;
    }
    for (int i = 0; i < n; i++) {
        distances[i] = infinity;
        state.visited[i] = 0;
    }
    distances[source] = 0.0f;

    for (int round = 0; round < n; round++) {
        int pick = -1;
        for (int i = 0; i < n; i++)
            if (!state.visited[i] && (pick < 0 || distances[i] < distances[pick])) pick = i;
        state.visited[pick] = 1;
        const float *row = &weights[static_cast<size_t>(pick) * static_cast<size_t>(n)];
        for (int j = 0; j < n; j++) {
            float w = row[j];
            if (w < infinity && distances[pick] + w < distances[j])
                distances[j] = distances[pick] + w;
        }
    }
    return 1;
}
