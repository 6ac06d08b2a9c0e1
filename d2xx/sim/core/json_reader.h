// Strict reading of scenario JSON objects: typed values with ranges, hex
// strings for numbers and bytes, and an error for every key nobody asked for.
#pragma once

#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "bytes.h"
#include "scenario_error.h"

namespace orvsim {

class ObjectReader {
public:
    ObjectReader(const nlohmann::json &object, std::string path);

    bool has(const char *key) const { return object_.contains(key); }
    // The raw value (marked as read); null when absent.
    const nlohmann::json *get(const char *key);

    double number(const char *key, double fallback, double min, double max);
    // A JSON integer or a hexadecimal string.
    uint64_t integer(const char *key, uint64_t fallback, uint64_t min, uint64_t max);
    bool boolean(const char *key, bool fallback);
    std::string text(const char *key, const std::string &fallback, size_t max_len);
    // Hexadecimal byte string of min_len to max_len bytes.
    Bytes bytes(const char *key, const Bytes &fallback, size_t min_len, size_t max_len);

    std::string path(const std::string &key) const {
        return path_.empty() ? key : path_ + "." + key;
    }
    [[noreturn]] void fail(const std::string &key, const std::string &message) const;
    // Throws for keys that were never read.
    void finish() const;

private:
    const nlohmann::json &object_;
    std::string path_;
    std::set<std::string> used_;
};

// The same conversions for a value that is not inside an object.
uint64_t integer_value(const nlohmann::json &value, const std::string &path, uint64_t min,
                       uint64_t max);
double number_value(const nlohmann::json &value, const std::string &path, double min, double max);

}  // namespace orvsim
