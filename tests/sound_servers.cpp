// Private sound servers for the tests and the benchmarks (sound_servers.h).
#include "tests/sound_servers.h"
#include "tests/support.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

const char PULSEAUDIO[] = "/usr/bin/pulseaudio";
const char PIPEWIRE[] = "/usr/bin/pipewire";
const char PIPEWIRE_PULSE[] = "/usr/bin/pipewire-pulse";
const char PW_METADATA[] = "/usr/bin/pw-metadata";
const char WIREPLUMBER[] = "/usr/bin/wireplumber";
const char DBUS_DAEMON[] = "/usr/bin/dbus-daemon";
const char PAREC[] = "/usr/bin/parec";
const char PACAT[] = "/usr/bin/pacat";

static std::string first_missing(std::initializer_list<const char *> programs) {
    for (const char *p : programs)
        if (access(p, X_OK) != 0) return p;
    return "";
}

std::string pulse_missing() { return first_missing({PULSEAUDIO, PAREC, PACAT}); }
std::string pipewire_missing() {
    return first_missing(
        {PIPEWIRE, PIPEWIRE_PULSE, PW_METADATA, WIREPLUMBER, DBUS_DAEMON, PAREC, PACAT});
}

static std::string in_dir(const std::string &dir, const std::string &name) {
    return dir + "/" + name;
}

// Root is refused unless the server is told it runs as a system instance;
// --system brings its own checks, so the server runs as an ordinary per-user
// instance under a private HOME.
PulseServer::PulseServer(const std::string &d, std::vector<std::string> sink_names)
    : dir(d), sinks(std::move(sink_names)) {
    std::string config;
    for (const std::string &sink : sinks)
        config += "load-module module-null-sink sink_name=" + sink + "\n";
    config +=
        "set-default-sink " + sinks[0] + "\n" +
        "load-module module-native-protocol-unix auth-anonymous=1 socket=" + in_dir(dir, "native") +
        "\n";
    write_file(in_dir(dir, "server.pa"), config);
}

PulseServer::~PulseServer() { kill_now(); }

std::string PulseServer::server() const { return "unix:" + in_dir(dir, "native"); }

std::vector<std::string> PulseServer::env() const {
    return {"HOME=" + dir, "XDG_RUNTIME_DIR=" + dir, "PULSE_SERVER=" + server()};
}

bool PulseServer::start() {
    unlink(in_dir(dir, "native").c_str());
    pid = program_start_binary(PULSEAUDIO,
                               {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                                "-F", in_dir(dir, "server.pa")},
                               env(), in_dir(dir, "pulse.log"));
    for (int i = 0; i < 100; i++) {
        if (!program_running(pid)) return false;
        if (file_exists(in_dir(dir, "native"))) return true;
        pause_ms(50);
    }
    return false;
}

void PulseServer::kill_now() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    program_wait(pid, 5);
    pid = -1;
}

std::string PulseServer::logs() const { return read_file(in_dir(dir, "pulse.log")); }

PipeWireServer::PipeWireServer(const std::string &d, std::vector<std::string> sink_names)
    : dir(d), sinks(std::move(sink_names)) {
    mkdir(in_dir(dir, "run").c_str(), 0700);
    mkdir(in_dir(dir, "config").c_str(), 0755);
    mkdir(in_dir(dir, "config/pipewire").c_str(), 0755);
    mkdir(in_dir(dir, "config/pipewire/pipewire.conf.d").c_str(), 0755);
    // The first sink drives the graph and is the session's default.
    std::string objects = "context.objects = [\n";
    for (size_t k = 0; k < sinks.size(); k++)
        objects += "  { factory = adapter\n"
                   "    args = { factory.name = support.null-audio-sink node.name = \"" +
                   sinks[k] +
                   "\"\n"
                   "             media.class = \"Audio/Sink\" audio.position = [ FL FR ]\n"
                   "             object.linger = true node.driver = true priority.driver = " +
                   std::to_string(8000 - 100 * static_cast<int>(k)) +
                   " priority.session = " + std::to_string(2000 - 100 * static_cast<int>(k)) +
                   " } }\n";
    objects += "]\n";
    write_file(in_dir(dir, "config/pipewire/pipewire.conf.d/tap.conf"), objects);
}

PipeWireServer::~PipeWireServer() { kill_now(); }

std::string PipeWireServer::server() const { return "unix:" + in_dir(dir, "run/pulse/native"); }

std::vector<std::string> PipeWireServer::env() const {
    return {"HOME=" + dir, "XDG_RUNTIME_DIR=" + in_dir(dir, "run"),
            "XDG_CONFIG_HOME=" + in_dir(dir, "config"),
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + in_dir(dir, "run/bus"),
            "PULSE_SERVER=" + server()};
}

bool PipeWireServer::start() {
    unlink(in_dir(dir, "run/bus").c_str());
    unlink(in_dir(dir, "run/pulse/native").c_str());
    pids.push_back(program_start_binary(
        DBUS_DAEMON, {"--session", "--nofork", "--address=unix:path=" + in_dir(dir, "run/bus")},
        env(), in_dir(dir, "dbus.log")));
    for (int i = 0; i < 100 && !file_exists(in_dir(dir, "run/bus")); i++)
        pause_ms(20);
    pids.push_back(program_start_binary(PIPEWIRE, {}, env(), in_dir(dir, "pipewire.log")));
    pause_ms(300);
    pids.push_back(program_start_binary(WIREPLUMBER, {}, env(), in_dir(dir, "wireplumber.log")));
    pids.push_back(program_start_binary(PIPEWIRE_PULSE, {}, env(), in_dir(dir, "pulse.log")));
    // pipewire-pulse lists the sinks as soon as the daemon has made them,
    // before the session manager runs its policy: the server counts as up
    // once wireplumber has also chosen the default sink, so no stream of
    // the test meets a graph without a policy that links it.
    for (int i = 0; i < 200; i++) {
        for (pid_t p : pids)
            if (!program_running(p)) return false;
        if (file_exists(in_dir(dir, "run/pulse/native"))) {
            std::vector<std::string> listed = pulse_sinks(env());
            size_t found = 0;
            for (const std::string &s : sinks)
                for (const std::string &l : listed)
                    found += s == l;
            if (found == sinks.size() && default_sink_chosen()) return true;
        }
        pause_ms(50);
    }
    return false;
}

bool PipeWireServer::default_sink_chosen() const {
    std::string cmd;
    for (const std::string &e : env())
        cmd += e.substr(0, e.find('=') + 1) + "'" + e.substr(e.find('=') + 1) + "' ";
    FILE *p = popen((cmd + "timeout 2 " + PW_METADATA + " -n default 2>/dev/null").c_str(), "r");
    if (!p) return false;
    std::string out;
    char line[512];
    while (fgets(line, sizeof line, p))
        out += line;
    pclose(p);
    return out.find("default.audio.sink") != std::string::npos;
}

void PipeWireServer::kill_now() {
    for (pid_t p : pids) {
        kill(p, SIGKILL);
        program_wait(p, 5);
    }
    pids.clear();
}

std::string PipeWireServer::logs() const {
    return read_file(in_dir(dir, "pipewire.log")) + read_file(in_dir(dir, "wireplumber.log")) +
           read_file(in_dir(dir, "pulse.log"));
}

static std::string env_prefix(const std::vector<std::string> &env) {
    std::string prefix;
    for (const std::string &e : env) {
        size_t eq = e.find('=');
        prefix += e.substr(0, eq + 1) + "'" + e.substr(eq + 1) + "' ";
    }
    return prefix;
}

std::vector<std::string> pulse_sinks(const std::vector<std::string> &env) {
    std::vector<std::string> names;
    FILE *p = popen((env_prefix(env) + "pactl list short sinks 2>/dev/null").c_str(), "r");
    if (!p) return names;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        char *name = strchr(line, '\t');
        if (!name) continue;
        name++;
        char *end = strchr(name, '\t');
        if (end) names.emplace_back(name, end);
    }
    pclose(p);
    return names;
}

pid_t start_sink_recording(const std::vector<std::string> &env, const std::string &sink,
                           const std::string &path, int rate) {
    return program_start_binary("/bin/sh",
                                {"-c", std::string("exec ") + PAREC + " --device=" + sink +
                                           ".monitor --raw --format=s16le --rate=" +
                                           std::to_string(rate) + " --channels=2 > '" + path + "'"},
                                env);
}
