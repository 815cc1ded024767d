// Private sound servers for the tests and the benchmarks: a PulseAudio, or a
// PipeWire with its pulse server, each with null sinks of its own in a
// directory of the caller's, reached through PULSE_SERVER by every client
// started with env(). The first sink named is the default one. Every process
// started here is this process's child and ends (SIGKILL) with the object.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

extern const char PULSEAUDIO[], PIPEWIRE[], PIPEWIRE_PULSE[], PW_METADATA[], WIREPLUMBER[],
    DBUS_DAEMON[], PAREC[], PACAT[];

// "" when the programs a PulseAudio server needs are installed, else the one missing.
std::string pulse_missing();
// The same for a PipeWire server.
std::string pipewire_missing();

struct PulseServer {
    std::string dir;
    std::vector<std::string> sinks;
    pid_t pid = -1;
    PulseServer(const std::string &d, std::vector<std::string> sink_names = {"tap"});
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;
    std::string server() const; // "unix:<socket>"
    std::vector<std::string> env() const;
    bool start(); // answering a client; false if not within five seconds
    void kill_now();
    std::string logs() const;
    int rate() const { return 44100; } // the sinks' rate
};

// As Debian 13 and Raspberry Pi OS run it: pipewire with the null sinks of
// its own configuration, wireplumber (with a private session bus) and
// pipewire-pulse, whose socket the clients talk to. Restarting it restarts
// all four.
struct PipeWireServer {
    std::string dir;
    std::vector<std::string> sinks;
    std::vector<pid_t> pids;
    PipeWireServer(const std::string &d, std::vector<std::string> sink_names = {"tap"});
    ~PipeWireServer();
    PipeWireServer(const PipeWireServer &) = delete;
    PipeWireServer &operator=(const PipeWireServer &) = delete;
    std::string server() const;
    std::vector<std::string> env() const;
    bool start(); // the pulse socket answering, every sink listed and the session manager's default
                  // sink chosen; false if not within ten seconds
    bool default_sink_chosen()
        const; // wireplumber has written the default sink into the session's metadata
    void kill_now();
    std::string logs() const;
    int rate() const { return 48000; } // the graph's default rate
};

// The sink names the server's pulse interface lists (pactl), in its order.
std::vector<std::string> pulse_sinks(const std::vector<std::string> &env);

// parec of a sink's monitor into a raw file: 16-bit little-endian stereo at
// `rate`. The child's pid.
pid_t start_sink_recording(const std::vector<std::string> &env, const std::string &sink,
                           const std::string &path, int rate);
