// Assets: the records themselves are emitted in assembly by tools/assets.cmake
// (framework_assets.S, board_clips.S); this file pins the layout that the assembly writes.
#include <vostrel/assets/assets.h>

#include <stddef.h>

static_assert(sizeof(void *) == 8, "the asset records hold 64-bit pointers");
static_assert(offsetof(AssetRecord, name) == 0);
static_assert(offsetof(AssetRecord, type) == 8);
static_assert(offsetof(AssetRecord, size) == 16);
static_assert(offsetof(AssetRecord, data) == 24);
static_assert(sizeof(AssetRecord) == 32);
