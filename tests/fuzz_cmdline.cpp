// Fuzz target: the command line parser over an argv made from the input (one
// argument per zero-terminated piece, the first being the program name). It
// must read no argument past argc, and leave the log threshold within 0 to 4.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

constexpr size_t MAX_ARGS = 256;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Each argument in a heap block of its own size, so a read past its end shows.
    std::vector<std::unique_ptr<char[]>> args;
    size_t start = 0;
    for (size_t i = 0; i <= size && args.size() < MAX_ARGS; i++) {
        if (i < size && data[i] != 0) continue;
        size_t n = i - start;
        std::unique_ptr<char[]> arg(new char[n + 1]);
        if (n) memcpy(arg.get(), data + start, n);
        arg[n] = 0;
        args.push_back(std::move(arg));
        start = i + 1;
    }
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.get());
    argv.push_back(nullptr);

    log_threshold = 2;
    debug_level = 0;
    shell_parse_command_line(static_cast<int>(args.size()), argv.data());
    if (log_threshold > 4) __builtin_trap();
    // An argument list that is only the program name changes nothing.
    if (args.size() == 1 && (log_threshold != 2 || debug_level != 0)) __builtin_trap();
    log_threshold = LOG_CRITICAL;
    return 0;
}
