// Checksums of the two instrument protocols, written from their catalogue
// definitions (the simulator shares no code with liborv).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvsim {

// CRC-32/ISO-HDLC: reflected, polynomial EDB88320h, init and final XOR
// FFFFFFFFh. "123456789" gives CBF43926h.
uint32_t crc32(const uint8_t *data, size_t len);

// CRC-16/MODBUS: reflected, polynomial A001h, init FFFFh, no final XOR.
// "123456789" gives 4B37h.
uint16_t crc16_modbus(const uint8_t *data, size_t len);

}  // namespace orvsim
