#include "api/registry.h"

#include <cstring>

#include "api/global_lock.h"
#include "base/text.h"

RegistryEntry g_registry[kRegistrySize];

namespace {

constexpr std::size_t kTextSize = sizeof(RegistryEntry::input);

// Paths are compared byte for byte as they are stored, that is cut at 1023
// bytes like every path of the library.
bool same_path(const char *stored, const char *path) {
  return std::strncmp(stored, path, kTextSize - 1) == 0;
}

// Index of the first used entry whose input is `input`, or -1. Caller holds g_lock.
int find_input(const char *input) {
  for (int i = 0; i < kRegistrySize; ++i) {
    if (g_registry[i].used && same_path(g_registry[i].input, input)) return i;
  }
  return -1;
}

// Moves entries 0..6 to 1..7 as they are, holes included; entry 7 is lost.
void shift_down() {
  std::memmove(&g_registry[1], &g_registry[0], sizeof(RegistryEntry) * (kRegistrySize - 1));
}

// Replaces a stored text whole, so no byte of the previous text stays behind
// its terminator: the table's bytes then depend only on what it records.
void set_text(char (&field)[kTextSize], const char *text) {
  std::memset(field, 0, sizeof field);
  copy_text(field, text);
}

}  // namespace

void registry_insert(const char *input, const char *transforms) {
  if (input == nullptr) return;
  GlobalLockHold hold;
  int found = find_input(input);
  if (found >= 0) {
    set_text(g_registry[found].transforms, transforms);
    return;
  }
  shift_down();
  RegistryEntry &front = g_registry[0];
  std::memset(&front, 0, sizeof front);
  set_text(front.input, input);
  set_text(front.transforms, transforms);
  front.used = 1;
}

bool registry_lookup(const char *input, char *out) {
  if (out) out[0] = '\0';
  if (input == nullptr || out == nullptr) return false;
  GlobalLockHold hold;
  int found = find_input(input);
  if (found < 0) return false;
  copy_text(out, kTextSize, g_registry[found].transforms);
  return true;
}

void registry_remove(const char *input) {
  if (input == nullptr) return;
  GlobalLockHold hold;
  int found = find_input(input);
  if (found >= 0) g_registry[found].used = 0;
}

bool registry_refers(const char *transforms) {
  if (transforms == nullptr) return false;
  GlobalLockHold hold;
  for (const RegistryEntry &entry : g_registry) {
    if (entry.used && same_path(entry.transforms, transforms)) return true;
  }
  return false;
}
