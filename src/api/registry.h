// The analysis registry: input path -> transforms file of the last successful
// analysis of that input, in this process. Every operation takes g_lock.
#pragma once

inline constexpr int kRegistrySize = 8;

struct RegistryEntry {
  char input[1024];
  char transforms[1024];
  int used;
};

extern RegistryEntry g_registry[kRegistrySize];

// Records a successful analysis: refreshes the entry of `input` in place, or
// shifts the table down one place (losing position 7) and writes position 0.
void registry_insert(const char *input, const char *transforms);

// Copies the transforms path recorded for `input` into out (1024 bytes).
bool registry_lookup(const char *input, char *out);

// Marks the first used entry of `input` unused (a hole that stays in place).
void registry_remove(const char *input);

// True when a used entry records exactly this transforms path.
bool registry_refers(const char *transforms);
