// Bounded writers of single JSON members, used to assemble the reports.
//
// Each writer appends at *cursor and advances it; nothing is ever written at
// or past `end`, so a caller that passes its buffer's last byte as `end` can
// always terminate the text at *cursor.
#pragma once

// Appends value as the inside of a JSON string: a quotation mark and a
// backslash get a backslash, bytes 0x01-0x1F become \u00XX, every other byte
// is copied (so UTF-8 passes through).
void put_escaped(char **cursor, char *end, const char *value);

// Appends "key":"value" with the value escaped (quote and backslash get a
// backslash, bytes 0x01-0x1F become \u00XX, everything else is copied), after
// a comma when `comma` is non-zero.
void put_kv_s(char **cursor, char *end, const char *key, const char *value, int comma);

// Appends ,"key":<number> with exactly `decimals` (1, 2 or 3) decimals, no
// exponent, clamped to +-1e12 (NaN counts as 0).
void put_kv_d(char **cursor, char *end, const char *key, double value, int decimals);

// Appends ,"key":<integer>.
void put_kv_i(char **cursor, char *end, const char *key, long long value);

// Appends printf-formatted text, cut at `end`.
void put_text(char **cursor, char *end, const char *format, ...) __attribute__((format(printf, 3, 4)));
