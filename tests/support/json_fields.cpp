#include "support/json_fields.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <cmath>

std::string json_string(const std::string &json, const char *key) {
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  if (parser.parse(simdjson::padded_string(json)).get(root)) {
    ADD_FAILURE() << "not JSON: " << json;
    return "<missing>";
  }
  std::string_view value;
  if (root[key].get_string().get(value)) {
    ADD_FAILURE() << "no string member " << key << " in " << json;
    return "<missing>";
  }
  return std::string(value);
}

double json_number(const std::string &json, const char *key) {
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  if (parser.parse(simdjson::padded_string(json)).get(root)) {
    ADD_FAILURE() << "not JSON: " << json;
    return NAN;
  }
  double value;
  if (root[key].get_double().get(value)) {
    ADD_FAILURE() << "no number member " << key << " in " << json;
    return NAN;
  }
  return value;
}

bool json_valid(const std::string &json) {
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  return !parser.parse(simdjson::padded_string(json)).get(root) && root.is_object();
}
