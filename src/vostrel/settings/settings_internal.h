// Settings, inside: the changed flag, loading and freeing, which the shell's
// start-up and shutdown call, the look-up counter the tests read, and the
// registry's name index.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/settings/settings.h>

#include <stddef.h>
#include <stdint.h>

#include <vector>

extern int options_changed;               // set by every change; cleared by a successful read or save

void options_free(void);                                                      // frees everything; options_changed untouched
long options_probes(void);                                                    // index slots examined by look-ups so far (tests: reading must stay linear)
int options_load(void);       // options_clear, then options_read_file
int options_read_file(void);  // 1 if read; 0 (WARNING logged) if it cannot be opened, registry then as before

// Name index (name_index.cpp): a hash table of nodes the caller owns, for
// look-ups in time independent of how many names are held
struct IndexSlot {
    uint64_t hash;
    void *node;
};

struct NameIndex {
    std::vector<IndexSlot> slots; // a power of two long, or empty
    size_t used;                  // slots holding a node
    long probes;                  // slots examined by look-ups; name_index_clear keeps it
};

uint64_t name_index_hash(const char *name, uint64_t seed); // FNV-1a of name from seed, mixed so every byte reaches the low bits
void *name_index_find(NameIndex *ix, uint64_t h, int (*match)(const void *node, const void *context), const void *context); // the node of hash h that match accepts, or null; counts probes
void name_index_insert(NameIndex *ix, uint64_t h, void *node); // adds node under h; grows to keep at most half the slots used
void name_index_erase(NameIndex *ix, uint64_t h, const void *node); // removes that node (nothing if absent); no tombstones
void name_index_clear(NameIndex *ix);                          // empty, storage freed; probes kept
// clang-format on
