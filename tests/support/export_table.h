// Every liborv export that needs an open device, as uniform calls: one with
// arguments it accepts, writing its outputs into one caller block (so a test
// can check that a failed call left the block exactly as it was), and one
// with arguments it must refuse. Each row calls through the session's
// interface (device_interface.h): orv_<name>, or its twin orv_device_<name>
// on the session's handle. The tests of the checks made before anything is
// sent and the hardening tests that drive every export through one kind of
// failure share this table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvtest {

// The caller block: room for the largest output (a 2048-value table).
inline constexpr std::size_t kBlockBytes = 2048 * sizeof(double);

struct ExportCall {
    const char *name;
    bool uvvis_only;
    bool reads;  // a getter: its outputs live in the block
    // Called with accepted arguments on an open device it exchanges with the
    // instrument and passes a failed exchange's code on. Not so: the protocol
    // and capability getters, the selection reads (which need a selection)
    // and the summary record (delivered whatever fails).
    bool exchanges;
    // Accepted arguments; capacities cover the largest table, so no call
    // fails for lack of room.
    std::function<int(void *block)> call;
    // A null pointer or a size too small; empty for exports whose arguments
    // are all values the instrument judges.
    std::function<int(void *block)> refused;
};

// In header order.
const std::vector<ExportCall> &device_exports();

// The entry of the export orv_<name>; fails the test when there is none.
const ExportCall &export_named(const std::string &name);

// A block of kBlockBytes filled with one byte, aligned for doubles.
class Block {
public:
    Block();
    void *data() { return words_.data(); }
    bool untouched() const;

private:
    std::vector<uint64_t> words_;
};

}  // namespace orvtest
