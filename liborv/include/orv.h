/*
 * orv.h - the public C interface of liborv.
 *
 * liborv drives compact USB spectrometers that sit behind an FTDI USB-serial
 * bridge, through the FTDI D2XX driver library. Two instrument protocols are
 * supported and detected when a device opens: the register-packet protocol
 * of UV-VIS instruments (UVVIS_ORV) and the byte-command protocol of older
 * near-infrared instruments (NIR_LEGACY).
 *
 * Two interfaces drive the same operations:
 *  - the process-wide one: orv_open_device, then orv_get_full_spectrum_data
 *    and the other operations on the one built-in device of the process,
 *    then orv_close_device;
 *  - handles, for many instruments at once: orv_device_open gives an
 *    orv_device handle, orv_device_get_full_spectrum_data(handle, ...) and
 *    the other orv_device_* twins work on it, orv_device_close ends it. Each
 *    handle has its own bridge, protocol, cached settings and selection.
 *
 * Conventions
 *  - Every status-returning function returns ORV_OK (0) or a negative
 *    ORV_ERR_* code; two flash/spectrum functions return a byte count >= 0 on
 *    success (see their comments).
 *  - A device operation checks, in this order: a device is open
 *    (ORV_ERR_NOT_OPEN), its pointer and size arguments (ORV_ERR_INVALID_PARAM),
 *    and the protocol (ORV_ERR_UNSUPPORTED for operations of one protocol
 *    only). Nothing is sent to the instrument before these pass.
 *  - All buffers belong to the caller. Texts are cut to the buffer size and
 *    always terminated.
 *  - Threads: every export of the process-wide interface holds one
 *    process-wide lock for the whole call, so calls from several threads wait
 *    for each other and never mix their exchanges. Calls on one handle are
 *    serialized by that handle's own lock. Different handles may be used at
 *    the same time from different threads; no lock is shared between them
 *    while an instrument is awaited. The listing exports, the checksums and
 *    the packet functions may be called from any thread at any time.
 *  - Output on stdout only from orv_scan_devices, the packet diagnostics and,
 *    when the environment variable ORV_TRACE_TIMING exists, one timing line
 *    per UVVIS_ORV spectrum read.
 */
#ifndef ORV_H
#define ORV_H

#include <stddef.h>
#include <stdint.h>

/* ORV_API marks every export, in this header and on its definition in the
 * library's sources: C linkage (in C++) and the attribute that exports it
 * from the shared library, or imports it on Windows. ORV_STATIC: linked from
 * a static library, no attribute. */
#ifdef __cplusplus
#define ORV_LINKAGE extern "C"
#else
#define ORV_LINKAGE
#endif

#if defined(ORV_STATIC)
#define ORV_API ORV_LINKAGE
#elif defined(_WIN32)
#if defined(ORV_BUILDING_LIBRARY)
#define ORV_API ORV_LINKAGE __declspec(dllexport)
#else
#define ORV_API ORV_LINKAGE __declspec(dllimport)
#endif
#elif defined(ORV_BUILDING_LIBRARY)
#define ORV_API ORV_LINKAGE __attribute__((visibility("default")))
#else
#define ORV_API ORV_LINKAGE
#endif

/* ------------------------------------------------------------------------
 * Version
 * ------------------------------------------------------------------------ */
/* The version of this header: MAJOR.MINOR.PATCH. The major number changes
 * when an export or a record changes incompatibly; it is also the number in
 * the shared library's name (liborv.so.0). */
#define ORV_VERSION_MAJOR 0
#define ORV_VERSION_MINOR 3
#define ORV_VERSION_PATCH 0
#define ORV_VERSION "0.3.0"

/* The version of the loaded library, "MAJOR.MINOR.PATCH" as ORV_VERSION of
 * the header it was built with; compare it with ORV_VERSION to find a library
 * older than the header a program was built with. A constant string, never
 * NULL. */
ORV_API const char *orv_version(void);

/* ------------------------------------------------------------------------
 * Result codes
 * ------------------------------------------------------------------------ */
#define ORV_OK 0                      /* success */
#define ORV_ERR_GENERIC (-1)          /* bad packet input; no range selected */
#define ORV_ERR_DEVICE_NOT_FOUND (-2) /* list empty/unavailable, index or serial unknown */
#define ORV_ERR_NOT_OPEN (-3)         /* no device open (or preference change while open) */
#define ORV_ERR_TRANSPORT (-4)        /* D2XX failure, bad/short reply, unmapped reply code */
#define ORV_ERR_INVALID_PARAM (-5)    /* null pointer, bad size or value, buffer too small */
#define ORV_ERR_OPEN_FAILED (-6)      /* FT_Open refused the device */
#define ORV_ERR_CRC_MISMATCH (-7)     /* CRC of a reply wrong, or device reported CRC error */
#define ORV_ERR_INVALID_PACKET (-8)   /* UVVIS_ORV reply with a wrong preamble */
#define ORV_ERR_TIMEOUT (-9)          /* no reply in time, device timeout, poll ran out */
#define ORV_ERR_WRITE_PROTECTED (-10) /* device refused a write: write protect not open */
#define ORV_ERR_UNSUPPORTED (-11)     /* operation does not exist for this protocol */

/* The name of a result code: "ORV_OK", "ORV_ERR_TIMEOUT", ... as defined
 * above; "unknown" for any other value. A constant string, never NULL. */
ORV_API const char *orv_result_name(int code);

/* ------------------------------------------------------------------------
 * Protocols, preferences, capabilities
 * ------------------------------------------------------------------------ */
#define ORV_PROTOCOL_UVVIS 1      /* register packets of UV-VIS instruments (UVVIS_ORV) */
#define ORV_PROTOCOL_NIR_LEGACY 2 /* byte commands of older NIR instruments (NIR_LEGACY) */
#define ORV_PROTOCOL_UNKNOWN 255  /* none: the state of a device that is not open */

#define ORV_PREFER_AUTO 0  /* detect: UVVIS_ORV first, then NIR_LEGACY */
#define ORV_PREFER_UVVIS 1 /* UVVIS_ORV only */
#define ORV_PREFER_NIR 2   /* NIR_LEGACY only */

#define ORV_CAPS_UVVIS 0x7FFFu /* capability mask of a UVVIS_ORV instrument */
#define ORV_CAPS_NIR 0x01FFu   /* capability mask of a NIR_LEGACY instrument */

/* ------------------------------------------------------------------------
 * UVVIS_ORV wire format
 * ------------------------------------------------------------------------ */
#define ORV_PACKET_HEADER_SIZE 28 /* bytes before the data */
#define ORV_PACKET_MIN_SIZE 32    /* header + CRC, no data */
#define ORV_PACKET_MAX_SIZE 16384 /* largest response packet */
#define ORV_PACKET_MAX_DATA 8192  /* most data bytes kept from a response */

/* Register bytes (PIO Reg field). */
#define ORV_REG_PARAMS 0xC1      /* live parameters and device commands */
#define ORV_REG_STORED 0xC2      /* stored settings, factory data, wavelength count/range */
#define ORV_REG_WAVELENGTHS 0xC5 /* wavelength table, addressed by table index */
#define ORV_REG_SPECTRUM 0xC6    /* spectrum samples */
#define ORV_REG_FLASH_DATA 0xC7  /* flash data block */

/* Service codes (SRV). */
#define ORV_SRV_READ 0x0D
#define ORV_SRV_WRITE_NO_ACK 0x3D
#define ORV_SRV_WRITE_ACK 0xAD
#define ORV_SRV_RESP_DATA 0xE0
#define ORV_SRV_RESP_WRITE_ACK 0xEA

/* Reply codes (ANS byte 27). */
#define ORV_REPLY_ACK 0xAC
#define ORV_REPLY_CMD_TIMEOUT 0xE0
#define ORV_REPLY_CRC_MISMATCH 0xE1
#define ORV_REPLY_INVALID_CMD 0xE2
#define ORV_REPLY_WRITE_PROTECT 0xE3

/* ------------------------------------------------------------------------
 * Records that cross the interface
 * ------------------------------------------------------------------------ */

/* A UVVIS_ORV packet decoded by orv_parse_response. */
typedef struct orv_parsed_packet {
    uint8_t raw[16384]; /* copy of the received bytes */
    int32_t raw_len;    /* number of received bytes */
    uint8_t pre[8];     /* preamble as received */
    uint8_t ver;        /* protocol version (major.minor nibbles) */
    uint16_t ta;        /* target address */
    uint16_t sa;        /* source address */
    uint8_t srv;        /* service code */
    uint8_t fsn;        /* file serial number */
    uint16_t file_len;  /* FileLen (words) */
    uint16_t data_len;  /* DataLen (words) */
    uint16_t packets;   /* SN: number of packets */
    uint16_t index;     /* SN: index of this packet */
    uint8_t reg;        /* register byte */
    uint32_t addr;      /* 24-bit address */
    uint8_t ans_status; /* status nibble: 0 Normal, 11 Failed, 14 Forbidden */
    uint8_t ans_reply;  /* reply code */
    uint8_t data[8192]; /* data bytes */
    int32_t data_size;  /* number of bytes in data */
    uint32_t crc;       /* CRC field as received */
    int32_t pre_ok;     /* 1 when the preamble is right */
    int32_t crc_ok;     /* 1 when the computed CRC equals crc */
} orv_parsed_packet;

/* A selected wavelength interval and the table positions it covers. */
typedef struct orv_wavelength_range {
    double requested_start;  /* lower bound asked for */
    double requested_end;    /* upper bound asked for */
    double first_wavelength; /* table wavelength at first_index */
    double last_wavelength;  /* table wavelength at last_index */
    uint16_t first_index;    /* lowest table position inside the interval */
    uint16_t last_index;     /* highest table position inside the interval */
    uint16_t count;          /* last_index - first_index + 1 */
} orv_wavelength_range;

/* Summary of the open device: 168 bytes, no gaps, all texts terminated. */
typedef struct orv_device_info {
    int32_t protocol;          /* ORV_PROTOCOL_* */
    uint32_t capabilities;     /* ORV_CAPS_* mask */
    char protocol_name[32];    /* "UVVIS_ORV", "NIR_LEGACY" or "UNKNOWN" */
    char model[32];            /* model text, empty when it could not be read */
    char serial_number[32];    /* instrument serial, empty when it could not be read */
    char hardware_version[64]; /* hardware version, empty when it could not be read */
} orv_device_info;

/* Layout checks at compile time. C99 has no _Static_assert: there a false
 * condition gives an array of negative size. */
#if defined(__cplusplus)
#define ORV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ORV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define ORV_STATIC_ASSERT_JOIN2(a, b) a##b
#define ORV_STATIC_ASSERT_JOIN(a, b) ORV_STATIC_ASSERT_JOIN2(a, b)
#define ORV_STATIC_ASSERT(cond, msg) \
    typedef char ORV_STATIC_ASSERT_JOIN(orv_layout_check_, __LINE__)[(cond) ? 1 : -1]
#endif
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, raw_len) == 16384, "raw_len offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, pre) == 16388, "pre offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, ta) == 16398, "ta offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, addr) == 16416, "addr offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, data) == 16422, "data offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, data_size) == 24616, "data_size offset");
ORV_STATIC_ASSERT(offsetof(orv_parsed_packet, crc_ok) == 24628, "crc_ok offset");
ORV_STATIC_ASSERT(sizeof(orv_parsed_packet) == 24632, "orv_parsed_packet size");
ORV_STATIC_ASSERT(offsetof(orv_wavelength_range, first_index) == 32, "first_index offset");
ORV_STATIC_ASSERT(offsetof(orv_wavelength_range, count) == 36, "count offset");
ORV_STATIC_ASSERT(sizeof(orv_wavelength_range) == 40, "orv_wavelength_range size");
ORV_STATIC_ASSERT(offsetof(orv_device_info, protocol_name) == 8, "protocol_name offset");
ORV_STATIC_ASSERT(offsetof(orv_device_info, model) == 40, "model offset");
ORV_STATIC_ASSERT(offsetof(orv_device_info, serial_number) == 72, "serial_number offset");
ORV_STATIC_ASSERT(offsetof(orv_device_info, hardware_version) == 104, "hardware_version offset");
ORV_STATIC_ASSERT(sizeof(orv_device_info) == 168, "orv_device_info size");

/* ------------------------------------------------------------------------
 * Packet format and checksums (no device access)
 * ------------------------------------------------------------------------ */

/* CRC-32/ISO-HDLC (zlib, Ethernet) of len bytes. len <= 0 or data NULL: 0.
 * The 32-bit value is returned in an int. */
ORV_API int orv_crc32(const uint8_t *data, int len);

/* CRC-16/MODBUS of len bytes (sent high byte first by NIR_LEGACY).
 * len <= 0 or data NULL: 0xFFFF (the initial value). Returns 0..0xFFFF. */
ORV_API int orv_crc16_legacy(const uint8_t *data, int len);

/* Decodes a UVVIS_ORV response. The record is zeroed first.
 * Returns ORV_OK, or ORV_ERR_GENERIC when len < 24, the preamble is wrong
 * (record decoded as far as len allows, pre_ok 0), buf or out is NULL, or
 * len > 16384: such input is refused whole and the record stays all zero.
 * A wrong CRC is not an error here: look at crc_ok. */
ORV_API int orv_parse_response(const uint8_t *buf, int len, orv_parsed_packet *out);

/* ------------------------------------------------------------------------
 * Packet diagnostics (stdout)
 * ------------------------------------------------------------------------ */

/* Hex dump: " %02X" per byte, 16 per line, continuation lines indented by
 * seven spaces, one final newline. NULL or size <= 0 prints only the newline. */
ORV_API void orv_dump_hex(const uint8_t *data, int size);
/* Name of a service code; "Unknown Service" for others. Constant string. */
ORV_API const char *orv_srv_name(uint8_t code);
/* Name of a reply code; "Unknown Reply" for others. Constant string. */
ORV_API const char *orv_ans_reply_name(uint8_t code);
/* Field-by-field listing of a decoded packet; only an error line when the
 * preamble was wrong. NULL prints nothing. */
ORV_API void orv_print_parsed(const orv_parsed_packet *packet);

/* ------------------------------------------------------------------------
 * Device listing, open and close
 * ------------------------------------------------------------------------ */

/* Lists the FTDI devices (at most 64) on stdout, "[i] description (SN: serial)",
 * and returns their number; 0 when the list cannot be built. */
ORV_API int orv_scan_devices(void);
/* Copies the chip serial of list position index into buf (cut to buf_size,
 * terminated). ORV_ERR_INVALID_PARAM: index < 0, buf NULL, buf_size < 2.
 * ORV_ERR_DEVICE_NOT_FOUND: list unavailable, empty or too short. */
ORV_API int orv_get_chip_serial_by_index(int index, char *buf, int buf_size);
/* USB id of the instruments' bridge: vendor 0403h << 16 | product 6001h, as
 * orv_bridge_info.usb_id holds it. */
#define ORV_INSTRUMENT_USB_ID 0x04036001u
/* The list positions liborv reaches: listing, opening by position and by chip
 * serial see the first 64 bridges of the D2XX list only. */
#define ORV_MAX_BRIDGES 64
/* orv_bridge_info.flags: the bridge is open (in this or another process). */
#define ORV_BRIDGE_OPENED 0x1u
/* orv_bridge_info.flags: the bridge is a high-speed USB device. */
#define ORV_BRIDGE_HIGH_SPEED 0x2u

/* One bridge of the D2XX device list, as orv_list_bridges gives it: 128 bytes,
 * no gaps. The texts are the bytes the driver reports (not necessarily
 * UTF-8), always terminated. */
typedef struct orv_bridge_info {
    int32_t index;        /* list position, as orv_open_device and orv_device_open take it */
    uint32_t usb_id;      /* USB vendor id << 16 | product id */
    uint32_t flags;       /* ORV_BRIDGE_OPENED, ORV_BRIDGE_HIGH_SPEED */
    uint32_t location;    /* the driver's location id of the USB port */
    char chip_serial[32]; /* the bridge chip's serial, at most 16 bytes */
    char description[80]; /* the bridge's description, at most 64 bytes */
} orv_bridge_info;
ORV_STATIC_ASSERT(offsetof(orv_bridge_info, chip_serial) == 16, "chip_serial offset");
ORV_STATIC_ASSERT(offsetof(orv_bridge_info, description) == 48, "description offset");
ORV_STATIC_ASSERT(sizeof(orv_bridge_info) == 128, "orv_bridge_info size");

/* Lists the bridges of the D2XX provider as records, in list order, into
 * bridges[0 .. capacity - 1] and nothing else (no output on stdout): the first
 * min(capacity, ORV_MAX_BRIDGES) of the list. *count is the number of records
 * written; *listed, when listed is not NULL, the number of bridges the
 * provider lists, which may be more than ORV_MAX_BRIDGES. ORV_OK, also for an
 * empty list. ORV_ERR_INVALID_PARAM: count NULL, capacity < 0, bridges NULL
 * with capacity > 0. ORV_ERR_DEVICE_NOT_FOUND: no provider (orv_d2xx_provider
 * says why), or the provider cannot build its list or announces more than
 * 4096 bridges; *count and *listed are 0 then. */
ORV_API int orv_list_bridges(orv_bridge_info *bridges, int capacity, int *count, int *listed);
/* Which D2XX provider liborv uses, loading it first when none is loaded yet
 * (on Linux: the library ORV_D2XX_LIBRARY names, else libftd2xx.so by the
 * loader's search; on Windows the FTD2XX.dll liborv.dll imports). ORV_OK with
 * the path of the provider's file in buf; ORV_ERR_DEVICE_NOT_FOUND with the
 * reason none could be loaded in buf; both cut to buf_size and terminated.
 * ORV_ERR_INVALID_PARAM: buf NULL or buf_size < 2. */
ORV_API int orv_d2xx_provider(char *buf, int buf_size);
/* Closes the built-in device if it is open, opens list position index as the
 * built-in device, configures the bridge and detects the protocol. ORV_OK or
 * ORV_ERR_OPEN_FAILED (also when the bridge is open already, through either
 * interface). */
ORV_API int orv_open_device(int index);
/* Opens the first device whose chip serial equals chip_serial exactly.
 * ORV_ERR_INVALID_PARAM (NULL or empty), ORV_ERR_DEVICE_NOT_FOUND, or the
 * result of orv_open_device. */
ORV_API int orv_open_device_by_chip_serial(const char *chip_serial);
/* Closes the built-in device; harmless when none is open. */
ORV_API void orv_close_device(void);
/* 1 while the built-in device is open, else 0. */
ORV_API int orv_is_open(void);

/* ------------------------------------------------------------------------
 * Devices by handle
 * ------------------------------------------------------------------------ */

/* An open device of the handle interface. Opaque: only pointers to it are
 * handed out, by orv_device_open and orv_device_open_by_chip_serial. */
typedef struct orv_device orv_device;

/* Opens list position index as a new handle, configures the bridge and
 * detects the protocol (by the protocol preference), as orv_open_device does
 * for the built-in device; the built-in device and other handles stay as they
 * are. On success *device is the handle; on failure *device is NULL.
 * ORV_OK; ORV_ERR_INVALID_PARAM (device NULL, or no memory for the handle);
 * ORV_ERR_OPEN_FAILED (also when the bridge is open already, through either
 * interface). */
ORV_API int orv_device_open(int index, orv_device **device);
/* Opens the first device whose chip serial equals chip_serial exactly as a
 * new handle. ORV_ERR_INVALID_PARAM (device NULL, chip_serial NULL or empty),
 * ORV_ERR_DEVICE_NOT_FOUND, or the result of orv_device_open; *device is NULL
 * on failure. */
ORV_API int orv_device_open_by_chip_serial(const char *chip_serial, orv_device **device);
/* Closes the device and frees the handle; NULL is a no-op. The handle must not
 * be used afterwards, nor be in use by another thread at the time: either is
 * undefined behaviour. */
ORV_API void orv_device_close(orv_device *device);

/* ------------------------------------------------------------------------
 * Protocol and capabilities
 * ------------------------------------------------------------------------ */

/* ORV_PREFER_AUTO/UVVIS/NIR for every later open, of either interface.
 * ORV_ERR_NOT_OPEN while the built-in device is open (the preference changes
 * only while it is closed; open handles do not matter); ORV_ERR_INVALID_PARAM
 * for other values. */
ORV_API int orv_set_protocol_preference(int preference);
/* ORV_PROTOCOL_* of the open device. ORV_ERR_NOT_OPEN, ORV_ERR_INVALID_PARAM. */
ORV_API int orv_get_device_protocol(int32_t *out);
/* Capability mask of the open device. ORV_ERR_NOT_OPEN, ORV_ERR_INVALID_PARAM. */
ORV_API int orv_get_capabilities(uint32_t *out);

/* ------------------------------------------------------------------------
 * Acquisition parameters
 * Both protocols unless marked "UVVIS only" (ORV_ERR_UNSUPPORTED on NIR_LEGACY,
 * nothing sent). Every function can return ORV_ERR_NOT_OPEN, the exchange's
 * error, and ORV_ERR_TRANSPORT for a reply shorter than the value; getters
 * return ORV_ERR_INVALID_PARAM for NULL outputs.
 * ------------------------------------------------------------------------ */

/* Integration time in microseconds; remembered for the spectrum read timeout. */
ORV_API int orv_set_integration_time(uint32_t microseconds);
ORV_API int orv_get_integration_time(uint32_t *microseconds);
/* Xenon lamp pulse parameters. UVVIS only. */
ORV_API int orv_set_xenon_pulse(uint32_t first, uint32_t second);
ORV_API int orv_get_xenon_pulse(uint32_t *first, uint32_t *second);
/* Xenon lamp mode. UVVIS only. */
ORV_API int orv_set_xenon_mode(uint8_t mode);
ORV_API int orv_get_xenon_mode(uint8_t *mode);
/* Number of averaged scans per spectrum (0 is sent as 0, remembered as 1). */
ORV_API int orv_set_average_number(uint8_t count);
ORV_API int orv_get_average_number(uint8_t *count);
/* Level output. */
ORV_API int orv_set_level_output(uint8_t level);
ORV_API int orv_get_level_output(uint8_t *level);
/* USB baud-rate code. UVVIS only. */
ORV_API int orv_set_usb_baud_rate(uint16_t code);
ORV_API int orv_get_usb_baud_rate(uint16_t *code);
/* USB status: 1 when the instrument reports AAh, else 0. UVVIS only. */
ORV_API int orv_get_usb_status(int32_t *status);
/* External trigger configuration bytes 0, 1 and 3. UVVIS only. */
ORV_API int orv_set_external_trigger_config(uint8_t byte0, uint8_t byte1, uint8_t byte3);
ORV_API int orv_get_external_trigger_config(uint8_t *byte0, uint8_t *byte1, uint8_t *byte3);
/* Spectrum capture status, a big-endian 64-bit value. UVVIS only. */
ORV_API int orv_get_spectrum_capture_status(uint64_t *status);
/* DAC voltage, 12 bits (0..4095). UVVIS only. */
ORV_API int orv_set_dac_voltage(uint16_t value);
ORV_API int orv_get_dac_voltage(uint16_t *value);

/* ------------------------------------------------------------------------
 * Wavelength table and spectra
 * ------------------------------------------------------------------------ */

/* Number of wavelengths (pixels); also cached for the spectrum reads. */
ORV_API int orv_get_wavelength_count(uint16_t *count);
/* First and last wavelength of the table (NIR_LEGACY: always ascending). */
ORV_API int orv_get_full_wavelength_range(double *first, double *last);
/* The whole wavelength table. ORV_ERR_INVALID_PARAM when capacity is below the
 * wavelength count. */
ORV_API int orv_get_full_wavelength_data(double *values, int32_t capacity);
/* One full spectrum, one sample per wavelength. ORV_ERR_INVALID_PARAM when
 * capacity is below the wavelength count. */
ORV_API int orv_get_full_spectrum_data(uint16_t *samples, int32_t capacity);

/* ------------------------------------------------------------------------
 * Selected wavelength range (dropped on open, close and reset)
 * ------------------------------------------------------------------------ */

/* Selects the table positions whose wavelengths lie in [start, end].
 * ORV_ERR_INVALID_PARAM: start >= end, outside the instrument's range, or no
 * table position inside. A failure keeps the previous selection. */
ORV_API int orv_set_selected_wavelength_range(double start, double end);
/* Copies the selection; ORV_ERR_GENERIC when none is selected. */
ORV_API int orv_get_selected_wavelength_range(orv_wavelength_range *out);
/* The selection's wavelengths (count of them). ORV_ERR_GENERIC without a
 * selection; ORV_ERR_INVALID_PARAM when capacity < count; ORV_ERR_TRANSPORT
 * when the instrument delivers a table shorter than the selection. */
ORV_API int orv_get_selected_wavelength_data(double *values, int32_t capacity);
/* The selection's samples of one fresh full spectrum; errors as above. */
ORV_API int orv_get_selected_spectrum_data(uint16_t *samples, int32_t capacity);

/* ------------------------------------------------------------------------
 * Identity, calibration and health
 * Text getters: ORV_ERR_INVALID_PARAM for a NULL buffer or size < 2 (size < 1
 * for the detector serial number); the text is cut to size - 1 bytes.
 * ------------------------------------------------------------------------ */

/* Four calibration coefficients (array of 4 doubles). */
ORV_API int orv_get_calibration_coefficients(double *coefficients);
/* Internal temperature in degrees Celsius. */
ORV_API int orv_get_temperature(float *value);
/* Hardware version: "AA.BB.CC.DD" (UVVIS_ORV) or the instrument's text (NIR). */
ORV_API int orv_get_hardware_version(char *text, int32_t size);
/* Detector serial number (8 bytes of text). ORV_ERR_UNSUPPORTED on NIR_LEGACY. */
ORV_API int orv_get_detector_serial_number(char *text, int32_t size);
/* Model text; on NIR_LEGACY "NIR-T<t>-<mmmm>", or "NIR" when it cannot be read. */
ORV_API int orv_get_device_model(char *text, int32_t size);
/* Slit width. UVVIS only. */
ORV_API int orv_get_slit_width(uint8_t *width);
/* Writes the instrument serial number (first 12 bytes). UVVIS only. */
ORV_API int orv_set_serial_number(const char *text);
/* Instrument serial number; "NIR" on NIR_LEGACY (no device traffic). */
ORV_API int orv_get_serial_number(char *text, int32_t size);
/* Protocol, capabilities, model, serial and hardware version in one record;
 * texts that cannot be read are left empty and do not fail the call. */
ORV_API int orv_get_device_info(orv_device_info *out);

/* ------------------------------------------------------------------------
 * Flash memory, reset, external spectrum, stored settings
 * ------------------------------------------------------------------------ */

/* Opens the flash write-protect gate (permits flash writes). */
ORV_API int orv_set_flash_write_protect(void);
/* *open = 1 when the write-protect gate is open, else 0. */
ORV_API int orv_get_flash_write_protect(int32_t *open);
/* Resets the instrument; drops the selected range and cached wavelength count. */
ORV_API int orv_reset_device(void);
/* Reads up to length bytes of flash at address into data (UVVIS_ORV: at most
 * 1024 bytes per call). Returns the number of bytes stored (>= 0) or an error.
 * ORV_ERR_INVALID_PARAM for NULL data or length < 1. */
ORV_API int orv_flash_read(uint16_t address, uint8_t *data, int32_t length);
/* Writes a block of flash at address (UVVIS_ORV: opens the gate, sends the
 * block, commits it with its CRC-32 and waits for completion; at most 2016
 * bytes). ORV_ERR_INVALID_PARAM for NULL data, length < 1, or a UVVIS_ORV block
 * over 2016 bytes. */
ORV_API int orv_flash_write(uint16_t address, const uint8_t *data, int32_t length);
/* Starts an externally controlled acquisition with parameter, waits for it
 * and reads the spectrum. Returns the number of bytes stored in samples
 * (2 per sample), or an error. UVVIS only. */
ORV_API int orv_external_spectrum_control(uint16_t parameter, uint16_t *samples, int32_t capacity);
/* Settings stored in the instrument (not the live ones). UVVIS only, except
 * that orv_set_stored_smoothing_width succeeds without effect on NIR_LEGACY. */
ORV_API int orv_set_stored_integration_time(uint32_t microseconds);
ORV_API int orv_get_stored_integration_time(uint32_t *microseconds);
ORV_API int orv_set_stored_average_number(uint8_t count);
ORV_API int orv_get_stored_average_number(uint8_t *count);
ORV_API int orv_set_stored_smoothing_width(uint8_t width);
ORV_API int orv_get_stored_smoothing_width(uint8_t *width);

/* ------------------------------------------------------------------------
 * The device operations on a handle
 * Each orv_device_<name> does what orv_<name> above does, with the same
 * arguments, checks, result codes and device traffic, on the device of the
 * handle instead of the built-in device. A NULL handle: ORV_ERR_NOT_OPEN.
 * ------------------------------------------------------------------------ */

/* As orv_get_device_protocol. */
ORV_API int orv_device_get_device_protocol(orv_device *device, int32_t *out);
/* As orv_get_capabilities. */
ORV_API int orv_device_get_capabilities(orv_device *device, uint32_t *out);
/* As orv_set_integration_time. */
ORV_API int orv_device_set_integration_time(orv_device *device, uint32_t microseconds);
/* As orv_get_integration_time. */
ORV_API int orv_device_get_integration_time(orv_device *device, uint32_t *microseconds);
/* As orv_set_xenon_pulse. */
ORV_API int orv_device_set_xenon_pulse(orv_device *device, uint32_t first, uint32_t second);
/* As orv_get_xenon_pulse. */
ORV_API int orv_device_get_xenon_pulse(orv_device *device, uint32_t *first, uint32_t *second);
/* As orv_set_xenon_mode. */
ORV_API int orv_device_set_xenon_mode(orv_device *device, uint8_t mode);
/* As orv_get_xenon_mode. */
ORV_API int orv_device_get_xenon_mode(orv_device *device, uint8_t *mode);
/* As orv_set_average_number. */
ORV_API int orv_device_set_average_number(orv_device *device, uint8_t count);
/* As orv_get_average_number. */
ORV_API int orv_device_get_average_number(orv_device *device, uint8_t *count);
/* As orv_set_level_output. */
ORV_API int orv_device_set_level_output(orv_device *device, uint8_t level);
/* As orv_get_level_output. */
ORV_API int orv_device_get_level_output(orv_device *device, uint8_t *level);
/* As orv_set_usb_baud_rate. */
ORV_API int orv_device_set_usb_baud_rate(orv_device *device, uint16_t code);
/* As orv_get_usb_baud_rate. */
ORV_API int orv_device_get_usb_baud_rate(orv_device *device, uint16_t *code);
/* As orv_get_usb_status. */
ORV_API int orv_device_get_usb_status(orv_device *device, int32_t *status);
/* As orv_set_external_trigger_config. */
ORV_API int orv_device_set_external_trigger_config(orv_device *device, uint8_t byte0, uint8_t byte1,
                                                   uint8_t byte3);
/* As orv_get_external_trigger_config. */
ORV_API int orv_device_get_external_trigger_config(orv_device *device, uint8_t *byte0,
                                                   uint8_t *byte1, uint8_t *byte3);
/* As orv_get_spectrum_capture_status. */
ORV_API int orv_device_get_spectrum_capture_status(orv_device *device, uint64_t *status);
/* As orv_set_dac_voltage. */
ORV_API int orv_device_set_dac_voltage(orv_device *device, uint16_t value);
/* As orv_get_dac_voltage. */
ORV_API int orv_device_get_dac_voltage(orv_device *device, uint16_t *value);
/* As orv_get_wavelength_count. */
ORV_API int orv_device_get_wavelength_count(orv_device *device, uint16_t *count);
/* As orv_get_full_wavelength_range. */
ORV_API int orv_device_get_full_wavelength_range(orv_device *device, double *first, double *last);
/* As orv_get_full_wavelength_data. */
ORV_API int orv_device_get_full_wavelength_data(orv_device *device, double *values,
                                                int32_t capacity);
/* As orv_get_full_spectrum_data. */
ORV_API int orv_device_get_full_spectrum_data(orv_device *device, uint16_t *samples,
                                              int32_t capacity);
/* As orv_set_selected_wavelength_range. */
ORV_API int orv_device_set_selected_wavelength_range(orv_device *device, double start, double end);
/* As orv_get_selected_wavelength_range. */
ORV_API int orv_device_get_selected_wavelength_range(orv_device *device, orv_wavelength_range *out);
/* As orv_get_selected_wavelength_data. */
ORV_API int orv_device_get_selected_wavelength_data(orv_device *device, double *values,
                                                    int32_t capacity);
/* As orv_get_selected_spectrum_data. */
ORV_API int orv_device_get_selected_spectrum_data(orv_device *device, uint16_t *samples,
                                                  int32_t capacity);
/* As orv_get_calibration_coefficients. */
ORV_API int orv_device_get_calibration_coefficients(orv_device *device, double *coefficients);
/* As orv_get_temperature. */
ORV_API int orv_device_get_temperature(orv_device *device, float *value);
/* As orv_get_hardware_version. */
ORV_API int orv_device_get_hardware_version(orv_device *device, char *text, int32_t size);
/* As orv_get_detector_serial_number. */
ORV_API int orv_device_get_detector_serial_number(orv_device *device, char *text, int32_t size);
/* As orv_get_device_model. */
ORV_API int orv_device_get_device_model(orv_device *device, char *text, int32_t size);
/* As orv_get_slit_width. */
ORV_API int orv_device_get_slit_width(orv_device *device, uint8_t *width);
/* As orv_set_serial_number. */
ORV_API int orv_device_set_serial_number(orv_device *device, const char *text);
/* As orv_get_serial_number. */
ORV_API int orv_device_get_serial_number(orv_device *device, char *text, int32_t size);
/* As orv_get_device_info. */
ORV_API int orv_device_get_device_info(orv_device *device, orv_device_info *out);
/* As orv_set_flash_write_protect. */
ORV_API int orv_device_set_flash_write_protect(orv_device *device);
/* As orv_get_flash_write_protect. */
ORV_API int orv_device_get_flash_write_protect(orv_device *device, int32_t *open);
/* As orv_reset_device. */
ORV_API int orv_device_reset_device(orv_device *device);
/* As orv_flash_read. */
ORV_API int orv_device_flash_read(orv_device *device, uint16_t address, uint8_t *data,
                                  int32_t length);
/* As orv_flash_write. */
ORV_API int orv_device_flash_write(orv_device *device, uint16_t address, const uint8_t *data,
                                   int32_t length);
/* As orv_external_spectrum_control. */
ORV_API int orv_device_external_spectrum_control(orv_device *device, uint16_t parameter,
                                                 uint16_t *samples, int32_t capacity);
/* As orv_set_stored_integration_time. */
ORV_API int orv_device_set_stored_integration_time(orv_device *device, uint32_t microseconds);
/* As orv_get_stored_integration_time. */
ORV_API int orv_device_get_stored_integration_time(orv_device *device, uint32_t *microseconds);
/* As orv_set_stored_average_number. */
ORV_API int orv_device_set_stored_average_number(orv_device *device, uint8_t count);
/* As orv_get_stored_average_number. */
ORV_API int orv_device_get_stored_average_number(orv_device *device, uint8_t *count);
/* As orv_set_stored_smoothing_width. */
ORV_API int orv_device_set_stored_smoothing_width(orv_device *device, uint8_t width);
/* As orv_get_stored_smoothing_width. */
ORV_API int orv_device_get_stored_smoothing_width(orv_device *device, uint8_t *width);

#endif /* ORV_H */
