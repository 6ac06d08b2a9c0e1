#include "json_reader.h"

#include <cmath>

namespace orvsim {

using nlohmann::json;

ObjectReader::ObjectReader(const json &object, std::string path)
    : object_(object), path_(std::move(path)) {
    if (!object_.is_object())
        throw ScenarioError((path_.empty() ? std::string("document") : path_) +
                            ": must be an object");
}

const json *ObjectReader::get(const char *key) {
    auto it = object_.find(key);
    if (it == object_.end()) return nullptr;
    used_.insert(key);
    return &*it;
}

void ObjectReader::fail(const std::string &key, const std::string &message) const {
    throw ScenarioError(path(key) + ": " + message);
}

void ObjectReader::finish() const {
    for (auto it = object_.begin(); it != object_.end(); ++it) {
        if (!used_.count(it.key())) fail(it.key(), "unknown key");
    }
}

uint64_t integer_value(const json &v, const std::string &path, uint64_t min, uint64_t max) {
    uint64_t value = 0;
    if (v.is_number_unsigned()) {
        value = v.get<uint64_t>();
    } else if (v.is_number_integer()) {
        throw ScenarioError(path + ": must not be negative");
    } else if (v.is_string()) {
        auto parsed = parse_hex_number(v.get<std::string>());
        if (!parsed)
            throw ScenarioError(path + ": not a hexadecimal number: \"" + v.get<std::string>() +
                                "\"");
        value = *parsed;
    } else {
        throw ScenarioError(path + ": must be an integer or a hexadecimal string");
    }
    if (value < min || value > max) {
        throw ScenarioError(path + ": " + std::to_string(value) + " is outside " +
                            std::to_string(min) + " to " + std::to_string(max));
    }
    return value;
}

double number_value(const json &v, const std::string &path, double min, double max) {
    if (!v.is_number()) throw ScenarioError(path + ": must be a number");
    double value = v.get<double>();
    if (!std::isfinite(value) || value < min || value > max) {
        throw ScenarioError(path + ": " + v.dump() + " is outside " + json(min).dump() + " to " +
                            json(max).dump());
    }
    return value;
}

double ObjectReader::number(const char *key, double fallback, double min, double max) {
    const json *v = get(key);
    return v ? number_value(*v, path(key), min, max) : fallback;
}

uint64_t ObjectReader::integer(const char *key, uint64_t fallback, uint64_t min, uint64_t max) {
    const json *v = get(key);
    return v ? integer_value(*v, path(key), min, max) : fallback;
}

bool ObjectReader::boolean(const char *key, bool fallback) {
    const json *v = get(key);
    if (!v) return fallback;
    if (!v->is_boolean()) fail(key, "must be true or false");
    return v->get<bool>();
}

std::string ObjectReader::text(const char *key, const std::string &fallback, size_t max_len) {
    const json *v = get(key);
    if (!v) return fallback;
    if (!v->is_string()) fail(key, "must be a text");
    std::string s = v->get<std::string>();
    if (s.size() > max_len) fail(key, "longer than " + std::to_string(max_len) + " bytes");
    return s;
}

Bytes ObjectReader::bytes(const char *key, const Bytes &fallback, size_t min_len, size_t max_len) {
    const json *v = get(key);
    if (!v) return fallback;
    if (!v->is_string()) fail(key, "must be a hexadecimal byte string");
    auto b = parse_hex_bytes(v->get<std::string>());
    if (!b) fail(key, "not a hexadecimal byte string");
    if (b->size() < min_len || b->size() > max_len) {
        fail(key,
             "must hold " +
                 (min_len == max_len ? std::to_string(min_len)
                                     : std::to_string(min_len) + " to " + std::to_string(max_len)) +
                 " bytes");
    }
    return *b;
}

}  // namespace orvsim
