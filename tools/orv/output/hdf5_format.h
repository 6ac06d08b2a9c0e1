// HDF5 in the NeXus layout: the series of one instrument as one 2-D dataset
// of spectra, extended and flushed as each spectrum arrives, so that a
// series cut short (Ctrl-C, a killed process) leaves a readable file with
// every spectrum flushed before. The writer is hdf5_format.cpp, the reader
// hdf5_reader.cpp; the layout and the flush policy are described in
// docs/orv-command.md. libhdf5 is found at configure time (Debian's
// libhdf5-dev, Linux); builds without it (the Windows one) refuse the format.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "output/spectrum_table_reader.h"
#include "output/spectrum_writer.h"

namespace orvcli {

#ifdef ORV_CLI_HAS_HDF5
inline constexpr bool kHdf5Supported = true;
#else
inline constexpr bool kHdf5Supported = false;
#endif

inline constexpr const char *kWithoutHdf5 =
    "HDF5 is not available in this build: it needs libhdf5, which Debian has for Linux only";

// The first bytes of an HDF5 file written by orv (a superblock at offset 0).
inline constexpr std::string_view kHdf5Signature{"\x89HDF\r\n\x1a\n", 8};

// Names inside the file that the writer and the reader share.
namespace hdf5_name {
inline constexpr const char *instrument = "/entry/instrument";
inline constexpr const char *data = "/entry/data";
inline constexpr const char *spectra = "/entry/data/spectra";
inline constexpr const char *wavelength = "/entry/data/wavelength";
inline constexpr const char *time = "/entry/data/time";
inline constexpr const char *timestamp = "/entry/data/timestamp";
}  // namespace hdf5_name

// A series written straight to its file. The file is created at once (an
// output Failure when it cannot be); destroyed without commit() it is
// removed, like an OutputFile that was never committed.
class Hdf5SeriesFile : public SpectrumWriter {
public:
    // Closes the file and keeps it.
    virtual void commit() = 0;
};

#ifdef ORV_CLI_HAS_HDF5
std::unique_ptr<Hdf5SeriesFile> create_hdf5_series(const std::string &path,
                                                   const MeasurementHeader *measurement);

// The last spectrum of a file create_hdf5_series wrote, with its instrument,
// settings and mode; a usage Failure naming `name` for anything else.
SpectrumTable read_spectrum_hdf5(const std::string &path, const std::string &name);
#endif

}  // namespace orvcli
