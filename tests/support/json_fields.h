// Reading members of the library's JSON reports in tests. The text must be
// valid JSON: parsing it is part of what the tests check.
#pragma once

#include <string>

// The string member `key`, or "<missing>" (and a test failure) when absent.
std::string json_string(const std::string &json, const char *key);

// The number member `key` as a double, or NaN (and a test failure).
double json_number(const std::string &json, const char *key);

// True when json is one valid JSON object.
bool json_valid(const std::string &json);
