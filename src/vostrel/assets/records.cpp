// Assets: the records themselves are emitted in assembly by tools/assets.cmake
// (framework_assets.S, board_clips.S); this file pins the layout that the assembly writes.
#include <vostrel/assets/assets.h>

#include <stddef.h>

constexpr size_t POINTER = sizeof(void *);
static_assert(POINTER == 8 || POINTER == 4, "the asset records hold 64-bit or 32-bit pointers");
static_assert(offsetof(AssetRecord, name) == 0);
static_assert(offsetof(AssetRecord, type) == POINTER);
static_assert(offsetof(AssetRecord, size) == 2 * POINTER);
static_assert(offsetof(AssetRecord, data) ==
              3 * POINTER); // 4 bytes of padding before it with 64-bit pointers
static_assert(sizeof(AssetRecord) == 4 * POINTER);
