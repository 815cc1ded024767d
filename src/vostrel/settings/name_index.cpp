// Name indexes: open addressing with linear probing over a power-of-two
// table, each slot holding an entry's hash and node (null for an empty slot),
// grown to keep at most half the slots used. Removal shifts the entries that
// follow back, so no slot is ever a tombstone. The options registry keeps two
// (sections by name, settings by section and key) beside its lists.
#include <vostrel/settings/settings_internal.h>

#include <stdint.h>

// FNV-1a over the name, started from the seed and mixed so the low bits that
// pick the slot depend on every byte.
uint64_t name_index_hash(const char *name, uint64_t seed) {
    uint64_t h = 14695981039346656037ull ^ seed;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; c++)
        h = (h ^ *c) * 1099511628211ull;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

void *name_index_find(NameIndex *ix, uint64_t h,
                      int (*match)(const void *node, const void *context), const void *context) {
    if (ix->slots.empty()) return nullptr;
    size_t mask = ix->slots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        ix->probes++;
        const IndexSlot &slot = ix->slots[i];
        if (!slot.node) return nullptr;
        if (slot.hash == h && match(slot.node, context)) return slot.node;
    }
}

static void index_place(std::vector<IndexSlot> &slots, IndexSlot entry) {
    size_t mask = slots.size() - 1;
    size_t i = entry.hash & mask;
    while (slots[i].node)
        i = (i + 1) & mask;
    slots[i] = entry;
}

void name_index_insert(NameIndex *ix, uint64_t h, void *node) {
    if ((ix->used + 1) * 2 > ix->slots.size()) {
        std::vector<IndexSlot> grown(ix->slots.empty() ? 16 : ix->slots.size() * 2,
                                     IndexSlot{0, nullptr});
        for (const IndexSlot &slot : ix->slots)
            if (slot.node) index_place(grown, slot);
        ix->slots.swap(grown);
    }
    index_place(ix->slots, IndexSlot{h, node});
    ix->used++;
}

void name_index_erase(NameIndex *ix, uint64_t h, const void *node) {
    if (ix->slots.empty()) return;
    size_t mask = ix->slots.size() - 1;
    size_t i = h & mask;
    while (ix->slots[i].node != node) {
        if (!ix->slots[i].node) return;
        i = (i + 1) & mask;
    }
    // Each later entry of the run moves back into the hole, unless its home
    // slot lies cyclically after the hole (up to the entry itself): a look-up
    // for it starts past the hole and never needed to cross it.
    for (size_t j = (i + 1) & mask; ix->slots[j].node; j = (j + 1) & mask) {
        size_t home = ix->slots[j].hash & mask;
        bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (stays) continue;
        ix->slots[i] = ix->slots[j];
        i = j;
    }
    ix->slots[i] = IndexSlot{0, nullptr};
    ix->used--;
}

void name_index_clear(NameIndex *ix) {
    std::vector<IndexSlot>().swap(ix->slots);
    ix->used = 0;
}
