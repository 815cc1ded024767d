// PLACEHOLDER: replaced by the audio work.
#include "audio/audio.h"
void sound_init(void) {}
void sound_update(float) {}
void sound_shutdown(void) {}
int sound_load(const AssetRecord *, SoundRecord *) { return 1; }
int sound_play(SoundRecord *, int) { return 1; }
int sound_stop(SoundRecord *) { return 1; }
int sound_registry_count(void) { return 0; }
