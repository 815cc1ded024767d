// Audio: the outputs one can name. Where a sound server runs (PulseAudio,
// or PipeWire through its pulse server) they are its sinks; elsewhere the
// ALSA devices that play. Both SDL 1.2s reach them through the same client
// libraries, which take the choice from the environment when a stream
// opens: PULSE_SINK for a server's sink, AUDIODEV for an ALSA device.
//
// SDL 2 beneath sdl12-compat may not let libpulse choose: Debian 13's (2.32)
// opens its default device on the server's default sink by name, whatever
// PULSE_SINK says, and its PipeWire driver is no libpulse client at all.
// Both of its drivers take a device of their own list from
// SDL_AUDIO_DEVICE_NAME when the application asks for the default one, and
// list a server's sinks by their descriptions (numbered where sinks share
// one): the sink is named that way too.
//
// The libraries are opened at run time, as SDL opens them: both are already
// in the process wherever SDL plays through them, and a system without one
// simply has no outputs of that kind.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include <vostrel/diag/diag.h>

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <time.h>
#include <vector>

namespace {

struct Output {
    std::string name, description;
};

// How long a sound server may take to answer before it counts as absent.
constexpr int SERVER_WAIT_MS = 2000;

template <typename F> int find(void *lib, const char *name, F *&out) {
    void *p = dlsym(lib, name);
    memcpy(&out, &p, sizeof p);
    return p != nullptr;
}

struct Pulse {
    decltype(&pa_mainloop_new) mainloop_new;
    decltype(&pa_mainloop_get_api) mainloop_get_api;
    decltype(&pa_mainloop_prepare) mainloop_prepare;
    decltype(&pa_mainloop_poll) mainloop_poll;
    decltype(&pa_mainloop_dispatch) mainloop_dispatch;
    decltype(&pa_mainloop_free) mainloop_free;
    decltype(&pa_context_new) context_new;
    decltype(&pa_context_connect) context_connect;
    decltype(&pa_context_get_state) context_get_state;
    decltype(&pa_context_get_sink_info_list) context_get_sink_info_list;
    decltype(&pa_context_disconnect) context_disconnect;
    decltype(&pa_context_unref) context_unref;
    decltype(&pa_operation_get_state) operation_get_state;
    decltype(&pa_operation_unref) operation_unref;
};

long long now_ms(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void add_sink(pa_context *, const pa_sink_info *info, int eol, void *data) {
    if (eol || !info || !info->name) return;
    static_cast<std::vector<Output> *>(data)->push_back(
        {info->name, info->description ? info->description : ""});
}

// The server's sinks; 0 if no server answered (or libpulse is absent).
int server_sinks(std::vector<Output> *out) {
    void *lib = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 0;
    Pulse pa;
    int ok = find(lib, "pa_mainloop_new", pa.mainloop_new) &&
             find(lib, "pa_mainloop_get_api", pa.mainloop_get_api) &&
             find(lib, "pa_mainloop_prepare", pa.mainloop_prepare) &&
             find(lib, "pa_mainloop_poll", pa.mainloop_poll) &&
             find(lib, "pa_mainloop_dispatch", pa.mainloop_dispatch) &&
             find(lib, "pa_mainloop_free", pa.mainloop_free) &&
             find(lib, "pa_context_new", pa.context_new) &&
             find(lib, "pa_context_connect", pa.context_connect) &&
             find(lib, "pa_context_get_state", pa.context_get_state) &&
             find(lib, "pa_context_get_sink_info_list", pa.context_get_sink_info_list) &&
             find(lib, "pa_context_disconnect", pa.context_disconnect) &&
             find(lib, "pa_context_unref", pa.context_unref) &&
             find(lib, "pa_operation_get_state", pa.operation_get_state) &&
             find(lib, "pa_operation_unref", pa.operation_unref);
    int answered = 0;
    pa_mainloop *loop = ok ? pa.mainloop_new() : nullptr;
    pa_context *context = loop ? pa.context_new(pa.mainloop_get_api(loop), APP_NAME) : nullptr;
    // Never a server started for this question: only one that runs counts.
    if (context && pa.context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const long long until = now_ms() + SERVER_WAIT_MS;
        pa_operation *listing = nullptr;
        while (now_ms() < until) {
            const pa_context_state_t state = pa.context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) break;
            if (state == PA_CONTEXT_READY && !listing)
                listing = pa.context_get_sink_info_list(context, add_sink, out);
            if (listing && pa.operation_get_state(listing) != PA_OPERATION_RUNNING) {
                answered = pa.operation_get_state(listing) == PA_OPERATION_DONE;
                break;
            }
            if (pa.mainloop_prepare(loop, 100 * 1000) < 0 || pa.mainloop_poll(loop) < 0 ||
                pa.mainloop_dispatch(loop) < 0)
                break;
        }
        if (listing) pa.operation_unref(listing);
        pa.context_disconnect(context);
    }
    if (context) pa.context_unref(context);
    if (loop) pa.mainloop_free(loop);
    dlclose(lib);
    return answered;
}

struct Alsa {
    decltype(&snd_device_name_hint) name_hint;
    decltype(&snd_device_name_get_hint) get_hint;
    decltype(&snd_device_name_free_hint) free_hint;
    decltype(&snd_pcm_open) pcm_open;
    decltype(&snd_pcm_close) pcm_close;
};

void *alsa_open(Alsa *a) {
    void *lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    if (find(lib, "snd_device_name_hint", a->name_hint) &&
        find(lib, "snd_device_name_get_hint", a->get_hint) &&
        find(lib, "snd_device_name_free_hint", a->free_hint) &&
        find(lib, "snd_pcm_open", a->pcm_open) && find(lib, "snd_pcm_close", a->pcm_close))
        return lib;
    dlclose(lib);
    return nullptr;
}

// ALSA's devices that play (their hints' IOID is none or "Output").
void alsa_devices(std::vector<Output> *out) {
    Alsa a;
    void *lib = alsa_open(&a);
    if (!lib) return;
    void **hints = nullptr;
    if (a.name_hint(-1, "pcm", &hints) == 0 && hints) {
        for (void **h = hints; *h; h++) {
            char *name = a.get_hint(*h, "NAME");
            char *desc = a.get_hint(*h, "DESC");
            char *ioid = a.get_hint(*h, "IOID");
            if (name && (!ioid || strcmp(ioid, "Output") == 0)) {
                std::string d = desc ? desc : "";
                for (char &c : d)
                    if (c == '\n') c = ' ';
                out->push_back({name, d});
            }
            free(name);
            free(desc);
            free(ioid);
        }
        a.free_hint(hints);
    }
    dlclose(lib);
}

// An ALSA name that is no hint may still be a device ("hw:1,0"): one that
// opens, or is busy, is there.
int alsa_device_opens(const char *name) {
    Alsa a;
    void *lib = alsa_open(&a);
    if (!lib) return 0;
    snd_pcm_t *pcm = nullptr;
    int err = a.pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err == 0) a.pcm_close(pcm);
    dlclose(lib);
    return err == 0 || err == -EBUSY;
}

// SDL 2's playback devices, by the names it gives them, when SDL 2 runs
// beneath SDL 1.2 (sdl12-compat, 1.2.50 and later: classic SDL 1.2 ended at
// 1.2.15) with its audio driver started; 0 otherwise. The driver's name too.
int sdl2_outputs(std::vector<std::string> *names, std::string *driver) {
    const SDL_version *linked = SDL_Linked_Version();
    if (!linked || linked->major != 1 || linked->minor != 2 || linked->patch < 50) return 0;
    void *sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!sdl2) return 0;
    int (*count)(int iscapture) = nullptr;
    const char *(*name)(int index, int iscapture) = nullptr;
    const char *(*current)(void) = nullptr;
    const int ok = find(sdl2, "SDL_GetNumAudioDevices", count) &&
                   find(sdl2, "SDL_GetAudioDeviceName", name) &&
                   find(sdl2, "SDL_GetCurrentAudioDriver", current);
    dlclose(sdl2); // the library stays: sdl12-compat holds it
    const char *running = ok ? current() : nullptr;
    if (!running) return 0;
    *driver = running;
    const int n = count(0);
    for (int i = 0; i < n; i++)
        if (const char *listed = name(i, 0)) names->push_back(listed);
    return 1;
}

// The sink `name` (one of `outputs`, listed in the server's order) for SDL 2
// beneath sdl12-compat: the device of SDL 2's list that is that sink, as
// SDL_AUDIO_DEVICE_NAME. SDL 2 lists a server's sinks by their descriptions
// in the server's order, the second sink of a description as
// "DESCRIPTION (2)", the third as "DESCRIPTION (3)" and so on, so two like
// speakers are told apart as SDL 2 tells them. A WARNING and 0 where SDL 2's
// driver lists no such device (the default output plays); else 1. A name SDL
// 2 lists twice (a description that reads like another's numbered one) is
// left to PULSE_SINK, which Debian 12's SDL 2 (2.26) honours.
int name_for_sdl2(const std::vector<Output> &outputs, const char *name) {
    std::vector<std::string> devices;
    std::string driver;
    if (!sdl2_outputs(&devices, &driver)) return 1;
    auto label = [](const Output &o) { return o.description.empty() ? o.name : o.description; };
    std::string wanted;
    for (const Output &o : outputs)
        if (o.name == name) wanted = label(o);
    int nth = 0;
    for (const Output &o : outputs) {
        nth += label(o) == wanted;
        if (o.name == name) break;
    }
    if (nth > 1) wanted += " (" + std::to_string(nth) + ")";
    int listed = 0;
    for (const std::string &d : devices)
        listed += d == wanted;
    if (listed == 1) {
        setenv("SDL_AUDIO_DEVICE_NAME", wanted.c_str(), 1);
    } else if (listed == 0) {
        log_printf(LOG_WARNING,
                   "Audio device \"%s\" (\"%s\") is not among the outputs of SDL 2's %s driver; "
                   "playing on the default output",
                   name, wanted.c_str(), driver.c_str());
        return 0;
    }
    return 1;
}

// The outputs and whether they are a server's sinks.
int list_outputs(std::vector<Output> *out) {
    if (server_sinks(out)) return 1;
    out->clear();
    alsa_devices(out);
    return 0;
}

} // namespace

int sound_print_outputs(FILE *stream) {
    std::vector<Output> outputs;
    list_outputs(&outputs);
    for (const Output &o : outputs) {
        if (o.description.empty() || o.description == o.name)
            fprintf(stream, "%s\n", o.name.c_str());
        else
            fprintf(stream, "%s\t%s\n", o.name.c_str(), o.description.c_str());
    }
    return static_cast<int>(outputs.size());
}

int sound_use_output(const char *name) {
    if (!name || !name[0]) return 0;
    std::vector<Output> outputs;
    const int server = list_outputs(&outputs);
    int found = 0;
    for (const Output &o : outputs)
        found = found || o.name == name;
    if (!found && !server) found = alsa_device_opens(name);
    if (found) {
        setenv(server ? "PULSE_SINK" : "AUDIODEV", name, 1);
        return server ? name_for_sdl2(outputs, name) : 1;
    }
    std::string names;
    for (const Output &o : outputs)
        names += (names.empty() ? "" : ", ") + o.name;
    log_printf(LOG_WARNING, "Audio device \"%s\" not found; playing on the default output. %s: %s",
               name, server ? "The sound server's sinks" : "ALSA's devices",
               names.empty() ? "none" : names.c_str());
    return 0;
}
