// Audio: the sound manager. Forwards to the backend table (an empty slot is
// nothing to do and reports success), keeps a registry of what it loaded, the
// five interface sounds, delayed plays fed from a pool of nodes, and the
// persisted "volume" option (stored only; playback is never scaled by it).
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include <vostrel/math/maths.h>
#include <vostrel/settings/settings.h>

#include <stdint.h>
#include <stdlib.h>

SoundRecord sound_applause, sound_boo, sound_cheering, sound_click, sound_bubble;
uint8_t sound_volume = 255;
uint8_t sound_saved_volume = 255;

namespace {

struct RegistryNode {
    SoundRecord *rec;
    RegistryNode *next;
};

struct DelayNode {
    SoundRecord *rec; // may be null: the node fires without playing
    float remaining;  // seconds
    DelayNode *next, *prev;
};

// A doubly linked list whose head has a null previous link.
struct DelayList {
    DelayNode *head;
};

struct SoundState {
    RegistryNode *registry; // most recently loaded first
    DelayList delayed;      // waiting to fire, most recently scheduled first
    DelayList pool;         // free nodes
};

SoundState sound;

const char VOLUME_KEY[] = "volume";

void push_front(DelayList *list, DelayNode *node) {
    node->next = list->head;
    if (list->head) {
        node->prev = list->head->prev;
        list->head->prev = node;
    }
    list->head = node;
}

void unlink(DelayList *list, DelayNode *node) {
    if (list->head == node) list->head = node->next;
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    node->next = nullptr;
    node->prev = nullptr;
}

// A cleared node; the pool grows by one when it is empty.
DelayNode *take_from_pool(void) {
    if (!sound.pool.head)
        push_front(&sound.pool, static_cast<DelayNode *>(calloc(1, sizeof(DelayNode))));
    DelayNode *node = sound.pool.head;
    unlink(&sound.pool, node);
    *node = DelayNode{};
    return node;
}

void free_list(DelayList *list) {
    DelayNode *node = list->head;
    while (node) {
        DelayNode *next = node->next;
        free(node);
        node = next;
    }
    list->head = nullptr;
}

void free_registry(void) {
    while (RegistryNode *node = sound.registry) {
        sound.registry = node->next;
        free(node);
    }
}

void register_record(SoundRecord *rec) {
    RegistryNode *node = static_cast<RegistryNode *>(calloc(1, sizeof(RegistryNode)));
    node->rec = rec;
    node->next = sound.registry;
    sound.registry = node;
}

// A load through one of the two load slots; registers only what the slot loaded.
int load_with(int (*slot)(const AssetRecord *, SoundRecord *), const AssetRecord *asset,
              SoundRecord *rec) {
    if (!slot) return 1;
    if (!slot(asset, rec)) return 0;
    register_record(rec);
    return 1;
}

template <typename T> int count_list(const T *node) {
    int n = 0;
    for (; node; node = node->next)
        n++;
    return n;
}

} // namespace

void sound_init(void) {
    int32_t volume = sound_volume;
    options_get(options_section_name, VOLUME_KEY, OPTION_INT_ALT, &volume, sizeof volume);
    sound_volume = static_cast<uint8_t>(volume & 0xFF);

    sound_backend_init();
    if (sound_backend.init) sound_backend.init();

    // A repeated start-up reloads the interface sounds into the same records:
    // the old registry and nodes are released first, not leaked. Chunks stay
    // (they are never freed; one may still be playing).
    free_registry();
    sound_load_ui(&vostrel_asset_applause_wav, &sound_applause);
    sound_load_ui(&vostrel_asset_boo_wav, &sound_boo);
    sound_load_ui(&vostrel_asset_cheering_wav, &sound_cheering);
    sound_load_ui(&vostrel_asset_click_wav, &sound_click);
    sound_load_ui(&vostrel_asset_bubble_wav, &sound_bubble);

    free_list(&sound.delayed); // pending plays of an earlier start are dropped
    free_list(&sound.pool);
    for (int i = 0; i < SOUND_POOL_SIZE; i++)
        push_front(&sound.pool, static_cast<DelayNode *>(calloc(1, sizeof(DelayNode))));
}

int sound_load(const AssetRecord *asset, SoundRecord *rec) {
    return load_with(sound_backend.load, asset, rec);
}

int sound_load_ui(const AssetRecord *asset, SoundRecord *rec) {
    return load_with(sound_backend.load_ui, asset, rec);
}

int sound_is_playing(SoundRecord *rec) {
    return sound_backend.is_playing ? sound_backend.is_playing(rec) : 1;
}

int sound_play(SoundRecord *rec, int loop) { return sound_play_at(rec, vec3_zero, loop); }

int sound_play_at(SoundRecord *rec, const float *vec, int loop) {
    return sound_backend.play ? sound_backend.play(rec, vec, loop) : 1;
}

int sound_stop(SoundRecord *rec) { return sound_backend.stop ? sound_backend.stop(rec) : 1; }

// A back end that cannot fade still ends the sound: a fade asked for is a stop.
int sound_fade_out(SoundRecord *rec, int milliseconds) {
    if (sound_backend.fade_out) return sound_backend.fade_out(rec, milliseconds);
    return sound_stop(rec);
}

int sound_set_volume(SoundRecord *rec, int volume) {
    const int clamped = volume < 0 ? 0 : volume > SOUND_VOLUME_FULL ? SOUND_VOLUME_FULL : volume;
    return sound_backend.set_volume ? sound_backend.set_volume(rec, clamped) : 1;
}

void sound_play_delayed(SoundRecord *rec, float delay) {
    DelayNode *node = take_from_pool();
    node->rec = rec;
    node->remaining = delay;
    push_front(&sound.delayed, node);
}

void sound_update(float dt) {
    if (!(dt > 0.0f)) return;
    DelayNode *node = sound.delayed.head;
    while (node) {
        DelayNode *next = node->next;
        node->remaining -= dt;
        if (!(node->remaining > 0.0f)) {
            if (node->rec) sound_play(node->rec, 0);
            node->remaining = 0.0f;
            unlink(&sound.delayed, node);
            push_front(&sound.pool, node);
        }
        node = next;
    }
}

void sound_toggle_mute(void) {
    if (sound_volume != 0) {
        sound_saved_volume = sound_volume;
        sound_volume = 0;
    } else {
        sound_volume = sound_saved_volume;
    }
    int32_t value = sound_volume;
    options_set(options_section_name, VOLUME_KEY, OPTION_INT_ALT, &value);
    options_save();
}

void sound_shutdown(void) {
    if (sound_backend.unload) {
        while (RegistryNode *node = sound.registry) {
            sound_backend.unload(node->rec);
            sound.registry = node->next;
            free(node);
        }
    }
    if (sound_backend.shutdown) sound_backend.shutdown();
    free_registry();
    free_list(&sound.delayed); // pending plays are dropped, never played
    free_list(&sound.pool);
}

int sound_registry_count(void) { return count_list(sound.registry); }
int sound_pool_count(void) { return count_list(sound.pool.head); }
int sound_delayed_count(void) { return count_list(sound.delayed.head); }

uint8_t sound_get_volume(void) { return sound_volume; }
