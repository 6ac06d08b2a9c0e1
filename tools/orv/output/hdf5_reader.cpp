// Reads back the last spectrum of an HDF5 series orv read wrote
// (hdf5_format.h): enough for orv plot --input and for a dark or reference,
// whatever the length of the series.
#include <fmt/format.h>
#include <hdf5.h>

#include <cmath>
#include <cstdlib>
#include <utility>

#include "failure.h"
#include "output/hdf5_format.h"

namespace orvcli {
namespace {

class Reader {
public:
    Reader(const std::string &path, const std::string &name) : name_(name) {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        file_ = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        if (file_ < 0) bad("HDF5 cannot open it");
    }
    ~Reader() {
        for (hid_t dataset : open_) H5Dclose(dataset);
        if (file_ >= 0) H5Fclose(file_);
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    [[noreturn]] void bad(const std::string &why) const {
        throw Failure(ExitStatus::usage,
                      fmt::format("{}: {} (not an HDF5 file orv read wrote)", name_, why));
    }

    bool has(const std::string &path) const {
        return H5Lexists(file_, path.c_str(), H5P_DEFAULT) > 0;
    }

    hid_t dataset(const std::string &path) {
        if (!has(path)) bad(fmt::format("no {}", path));
        const hid_t id = H5Dopen2(file_, path.c_str(), H5P_DEFAULT);
        if (id < 0) bad(fmt::format("{} is not a dataset", path));
        open_.push_back(id);
        return id;
    }

    std::string text(const std::string &path) {
        const hid_t id = dataset(path);
        const hid_t type = H5Tcopy(H5T_C_S1);
        H5Tset_size(type, H5T_VARIABLE);
        H5Tset_cset(type, H5T_CSET_UTF8);
        char *value = nullptr;
        const herr_t status = H5Dread(id, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, &value);
        H5Tclose(type);
        if (status < 0 || !value) bad(fmt::format("{} is not a text", path));
        std::string result(value);
        H5free_memory(value);
        return result;
    }

    // A dataset's extent (rank 1 or 2); a failure for any other rank.
    std::vector<hsize_t> extent(hid_t id, const std::string &path) const {
        const hid_t space = H5Dget_space(id);
        const int rank = H5Sget_simple_extent_ndims(space);
        std::vector<hsize_t> dims(rank > 0 && rank <= 2 ? static_cast<std::size_t>(rank) : 0);
        if (!dims.empty()) H5Sget_simple_extent_dims(space, dims.data(), nullptr);
        H5Sclose(space);
        if (rank == 0) return {1};
        if (dims.empty()) bad(fmt::format("{} has {} dimensions", path, rank));
        return dims;
    }

    // `count` values converted to `type`: row `row` of a 2-D dataset, the
    // element `row` of a 1-D one (count 1), or all of a 1-D one (row 0).
    template <class T>
    std::vector<T> row(const std::string &path, hsize_t row, hsize_t count, hid_t type) {
        const hid_t id = dataset(path);
        const std::vector<hsize_t> dims = extent(id, path);
        const bool two = dims.size() == 2;
        const bool whole = !two && count > 1;
        if (row >= dims[0] || (two ? dims[1] : whole ? dims[0] : 1) != count)
            bad(fmt::format("{} does not hold {} values in row {}", path, count, row + 1));
        std::vector<T> values(count);
        const hid_t space = H5Dget_space(id);
        const hsize_t start[] = {row, 0};
        const hsize_t size[] = {1, count};
        herr_t status = H5Sget_simple_extent_ndims(space) == 0 || whole
                            ? 0
                            : H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, size,
                                                  nullptr);  // rank 1: size[0] is 1
        const hid_t memory = H5Screate_simple(1, &count, nullptr);
        if (status >= 0) status = H5Dread(id, type, memory, space, H5P_DEFAULT, values.data());
        H5Sclose(memory);
        H5Sclose(space);
        if (status < 0) bad(fmt::format("{} cannot be read as numbers", path));
        return values;
    }

    double number(const std::string &path) {
        return row<double>(path, 0, 1, H5T_NATIVE_DOUBLE).front();
    }

private:
    std::string name_;
    hid_t file_ = -1;
    std::vector<hid_t> open_;
};

}  // namespace

SpectrumTable read_spectrum_hdf5(const std::string &path, const std::string &name) {
    Reader file(path, name);
    const std::string at = std::string(hdf5_name::instrument) + "/";
    SeriesSource source;
    InstrumentIdentity &identity = source.identity;
    identity.chip_serial = file.text(at + "chip_serial");
    identity.description = file.text(at + "bridge");
    identity.protocol = file.text(at + "protocol");
    identity.model = file.text(at + "model");
    identity.serial = file.text(at + "serial_number");
    identity.hardware_version = file.text(at + "hardware_version");
    identity.simulated = file.text(at + "simulated") == "yes";
    const double integration_ms = file.number(at + "integration_time");
    const double average = file.number(at + "averages");
    if (!(integration_ms >= 0 && integration_ms < 1e7) || !(average >= 1 && average < 1e6))
        file.bad("the integration time or the averaging is out of range");
    source.settings.integration_us =
        static_cast<std::uint32_t>(std::llround(integration_ms * 1000));
    source.settings.average = static_cast<unsigned>(average);
    if (file.has(at + "wavelength_range")) {
        const std::vector<double> range =
            file.row<double>(at + "wavelength_range", 0, 2, H5T_NATIVE_DOUBLE);
        source.settings.range = WavelengthRange{range[0], range[1]};
    }
    SpectrumTable table;
    if (file.has(at + "measurement_mode")) {
        const std::string mode = file.text(at + "measurement_mode");
        table.mode = orvproc::mode_named(mode);
        if (!table.mode) file.bad(fmt::format("'{}' is not a measurement mode", mode));
    }
    table.sources.push_back(
        {identity.chip_serial, describe_instrument(identity), describe_settings(source.settings)});

    // A series ended before its first spectrum has none.
    if (!file.has(hdf5_name::spectra)) file.bad("no spectra");
    // The rows whose time is written are complete (the writer writes it last).
    const hid_t spectra = file.dataset(hdf5_name::spectra);
    const std::vector<hsize_t> dims = file.extent(spectra, hdf5_name::spectra);
    const hid_t time = file.dataset(hdf5_name::time);
    const hsize_t rows = std::min(dims[0], file.extent(time, hdf5_name::time)[0]);
    if (dims.size() != 2 || dims[1] == 0) file.bad("the spectra are not a 2-D dataset");
    if (rows == 0) file.bad("no spectra");
    const hsize_t pixels = dims[1];
    auto wavelengths = std::make_shared<std::vector<double>>(
        file.row<double>(hdf5_name::wavelength, 0, pixels, H5T_NATIVE_DOUBLE));
    for (double wavelength : *wavelengths)
        if (!std::isfinite(wavelength)) file.bad("a wavelength is not a number");
    const double seconds =
        file.row<double>(hdf5_name::timestamp, rows - 1, 1, H5T_NATIVE_DOUBLE)[0];
    if (!(std::abs(seconds) < 1e11)) file.bad("the spectrum's time is out of range");

    Spectrum spectrum;
    spectrum.instrument = identity.chip_serial;
    spectrum.number = static_cast<unsigned>(rows);
    spectrum.time = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(seconds)));
    if (table.mode) {
        spectrum.values = file.row<double>(hdf5_name::spectra, rows - 1, pixels, H5T_NATIVE_DOUBLE);
        for (double value : spectrum.values)
            if (std::isinf(value)) file.bad("a value is infinite");
    } else {
        // Read wider than 16 bits, so that values out of range are seen.
        for (const std::uint32_t count :
             file.row<std::uint32_t>(hdf5_name::spectra, rows - 1, pixels, H5T_NATIVE_UINT32)) {
            if (count > 65535) file.bad(fmt::format("counts {} above 65535", count));
            spectrum.counts.push_back(static_cast<std::uint16_t>(count));
        }
    }
    spectrum.wavelengths_nm = std::move(wavelengths);
    table.spectra.push_back(std::move(spectrum));
    return table;
}

}  // namespace orvcli
