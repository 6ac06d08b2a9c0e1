#include "scenario_faults.h"

#include "json_reader.h"

namespace orvsim {
namespace {

using nlohmann::json;

enum Applies { kBoth, kUvvisOnly, kNirOnly };

struct KindInfo {
    const char *name;
    FaultKind kind;
    Applies applies;
};

const KindInfo kKinds[] = {
    {"no_answer", FaultKind::NoAnswer, kBoth},
    {"delay", FaultKind::Delay, kBoth},
    {"read_error", FaultKind::ReadError, kBoth},
    {"write_error", FaultKind::WriteError, kBoth},
    {"short_write", FaultKind::ShortWrite, kBoth},
    {"raw", FaultKind::Raw, kBoth},
    {"bad_crc", FaultKind::BadCrc, kBoth},
    {"data", FaultKind::Data, kBoth},
    {"short_header", FaultKind::ShortHeader, kUvvisOnly},
    {"short_body", FaultKind::ShortBody, kUvvisOnly},
    {"data_len", FaultKind::DataLen, kUvvisOnly},
    {"bad_preamble", FaultKind::BadPreamble, kUvvisOnly},
    {"reply_code", FaultKind::ReplyCode, kUvvisOnly},
    {"extra_data", FaultKind::ExtraData, kUvvisOnly},
    {"short_data", FaultKind::ShortData, kUvvisOnly},
    {"nak", FaultKind::Nak, kNirOnly},
    {"nak_bad_crc", FaultKind::NakBadCrc, kNirOnly},
    {"short_reply", FaultKind::ShortReply, kNirOnly},
    {"bad_first_byte", FaultKind::BadFirstByte, kNirOnly},
    {"split", FaultKind::Split, kNirOnly},
    {"endless", FaultKind::Endless, kNirOnly},
};

const KindInfo &find_kind(ObjectReader &r, Protocol protocol) {
    const std::string name = r.text("kind", "", 32);
    if (name.empty()) r.fail("kind", "missing");
    for (const KindInfo &k : kKinds) {
        if (name != k.name) continue;
        const bool fits =
            k.applies == kBoth || (k.applies == kUvvisOnly) == (protocol == Protocol::Uvvis);
        if (!fits) r.fail("kind", "\"" + name + "\" does not apply to this instrument's protocol");
        return k;
    }
    r.fail("kind", "unknown fault kind \"" + name + "\"");
}

void parse_match(ObjectReader &r, FaultSpec &f, Protocol protocol) {
    if (protocol == Protocol::Uvvis) {
        if (r.has("register")) {
            f.any_register = false;
            f.reg = static_cast<uint8_t>(r.integer("register", 0, 0, 0xFF));
        }
        if (r.has("address")) {
            f.any_address = false;
            f.address = static_cast<uint32_t>(r.integer("address", 0, 0, 0xFFFFFF));
        }
        const std::string access = r.text("access", "any", 8);
        if (access == "read")
            f.access = FaultSpec::Access::Read;
        else if (access == "write")
            f.access = FaultSpec::Access::Write;
        else if (access != "any")
            r.fail("access", "must be read or write");
    } else {
        f.command_prefix = r.bytes("command", {}, 0, 16);
    }
    if (r.has("occurrence")) {
        f.occurrence = static_cast<uint32_t>(r.integer("occurrence", 1, 1, UINT32_MAX));
        f.times = static_cast<uint32_t>(r.integer("times", 1, 1, UINT32_MAX));
    } else if (r.has("times")) {
        r.fail("times", "needs an occurrence");
    }
}

// Reads the count parameter under `key` with a default, noting whether it was given.
void count_param(ObjectReader &r, FaultSpec &f, const char *key, uint32_t fallback, uint32_t min,
                 uint32_t max) {
    f.count_given = r.has(key);
    f.count = static_cast<uint32_t>(r.integer(key, fallback, min, max));
}

void parse_parameters(ObjectReader &r, FaultSpec &f) {
    switch (f.kind) {
    case FaultKind::Delay: f.ms = r.number("ms", 0, 0, 3600000); break;
    case FaultKind::ReadError: f.persistent = r.boolean("persistent", false); break;
    case FaultKind::ShortWrite: count_param(r, f, "bytes", 0, 0, UINT32_MAX); break;
    case FaultKind::Raw:
    case FaultKind::Data:
        if (!r.has("bytes")) r.fail("bytes", "missing");
        f.bytes = r.bytes("bytes", {}, 0, 16352);
        break;
    case FaultKind::ShortHeader: count_param(r, f, "bytes", 20, 0, 27); break;
    case FaultKind::ShortBody: count_param(r, f, "bytes", 4, 1, 16384); break;
    case FaultKind::DataLen: count_param(r, f, "words", 4089, 0, 0xFFFF); break;
    case FaultKind::ReplyCode:
        if (!r.has("code")) r.fail("code", "missing");
        f.code = static_cast<uint8_t>(r.integer("code", 0, 0, 0xFF));
        break;
    case FaultKind::ExtraData: count_param(r, f, "bytes", 8192, 0, 16352); break;
    case FaultKind::ShortData:
        if (!r.has("bytes")) r.fail("bytes", "missing");
        count_param(r, f, "bytes", 0, 0, 16352);
        break;
    case FaultKind::ShortReply: count_param(r, f, "bytes", 1, 0, 2); break;
    case FaultKind::BadFirstByte:
        f.code = static_cast<uint8_t>(r.integer("byte", 0x07, 0, 0xFF));
        break;
    case FaultKind::Split:
        count_param(r, f, "at", 0, 1, UINT32_MAX);
        f.ms = r.number("ms", 0, 0, 3600000);
        break;
    default: break;
    }
}

}  // namespace

std::vector<FaultSpec> parse_faults(const json &list, const std::string &path, Protocol protocol) {
    if (!list.is_array()) throw ScenarioError(path + ": must be an array");
    if (protocol == Protocol::Silent && !list.empty())
        throw ScenarioError(path + ": a SILENT instrument takes no faults");
    std::vector<FaultSpec> faults;
    for (size_t i = 0; i < list.size(); ++i) {
        ObjectReader r(list[i], path + "[" + std::to_string(i) + "]");
        FaultSpec f;
        f.kind = find_kind(r, protocol).kind;
        parse_match(r, f, protocol);
        parse_parameters(r, f);
        r.finish();
        faults.push_back(std::move(f));
    }
    return faults;
}

}  // namespace orvsim
