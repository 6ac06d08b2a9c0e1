// The HDF5 series writer (layout: hdf5_format.h, docs/orv-command.md).
//
// Consistency at every flush: each spectrum extends and writes the spectra,
// then the absolute times, then the time axis (its fill value is NaN), and
// the file is flushed (H5Fflush) after every spectrum. A killed process
// leaves the state of the last flush: the file keeps the original
// superblock (no SWMR, whose consistency flags would make ordinary readers
// refuse a file that was not closed).
#include "output/hdf5_format.h"

#include <fmt/format.h>
#include <hdf5.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "failure.h"
#include "output/output_file.h"
#include "version.h"

namespace orvcli {
namespace {

// An HDF5 identifier closed with its own function.
class Handle {
public:
    Handle() = default;
    Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    Handle(Handle &&other) noexcept : id_(other.id_), close_(other.close_) { other.id_ = -1; }
    Handle &operator=(Handle &&other) noexcept {
        std::swap(id_, other.id_);
        std::swap(close_, other.close_);
        return *this;
    }
    ~Handle() { reset(); }
    void reset() {
        if (id_ >= 0 && close_) close_(id_);
        id_ = -1;
    }
    hid_t get() const { return id_; }
    // The id, no longer closed by this handle.
    hid_t release() { return std::exchange(id_, -1); }

private:
    hid_t id_ = -1;
    herr_t (*close_)(hid_t) = nullptr;
};

// Rows of one chunk of the time axes; a spectrum is a chunk of its own.
constexpr hsize_t kTimeChunk = 512;
// The metadata cache, fixed in size so that memory stays flat however long
// the series (the chunk index grows with it). It holds far more than one
// spectrum makes dirty, so between two flushes nothing dirty is evicted.
constexpr std::size_t kMetadataCache = 64 << 10;

class Hdf5Writer final : public Hdf5SeriesFile {
public:
    Hdf5Writer(const std::string &path, const MeasurementHeader *measurement)
        : path_(path), measurement_(measurement) {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures are reported by check()
        std::error_code error;
        if (std::filesystem::is_directory(file_path(path_), error)) fail("it is a folder");
        const Handle access(check(H5Pcreate(H5P_FILE_ACCESS), "file access"), H5Pclose);
        H5AC_cache_config_t cache;
        cache.version = H5AC__CURR_CACHE_CONFIG_VERSION;
        check(H5Pget_mdc_config(access.get(), &cache), "cache settings");
        cache.set_initial_size = true;
        cache.initial_size = kMetadataCache;
        cache.max_size = kMetadataCache;
        cache.min_size = kMetadataCache;
        cache.incr_mode = H5C_incr__off;
        cache.flash_incr_mode = H5C_flash_incr__off;
        cache.decr_mode = H5C_decr__off;
        check(H5Pset_mdc_config(access.get(), &cache), "cache settings");
        const hid_t file = H5Fcreate(path_.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get());
        if (file < 0) fail("cannot create a file there");
        file_ = Handle(file, H5Fclose);
    }

    ~Hdf5Writer() override {
        if (committed_) return;
        close_all(false);
        std::error_code ignored;
        std::filesystem::remove(file_path(path_), ignored);
    }

    void begin(const std::vector<SeriesSource> &sources,
               std::chrono::system_clock::time_point started) override {
        if (sources.size() != 1) fail("HDF5 holds the series of one instrument");
        started_ = started;
        const SeriesSource &source = sources.front();
        const std::string start = format_utc(started);
        const hid_t root = file_.get();
        text_attribute(root, "NX_class", "NXroot");
        text_attribute(root, "file_name", std::filesystem::path(path_).filename().string());
        text_attribute(root, "file_time", start);
        text_attribute(root, "creator", fmt::format("orv {} read", kVersion));
        text_attribute(root, "default", "entry");

        const Handle entry = group(root, "entry", "NXentry");
        text_attribute(entry.get(), "default", "data");
        const std::string mode_name(measurement_ ? orvproc::mode_info(measurement_->mode).name
                                                 : "counts");
        text_dataset(entry.get(), "title",
                     fmt::format("{}: {}", describe_instrument(source.identity), mode_name));
        text_dataset(entry.get(), "start_time", start);
        text_dataset(entry.get(), "program_name", fmt::format("orv {}", kVersion));
        write_instrument(entry.get(), source);

        const Handle data = group(entry.get(), "data", "NXdata");
        text_attribute(data.get(), "signal", "spectra");
        const char *axes[] = {"time", "wavelength"};
        const Handle text_type = variable_text();
        const hsize_t two = 2;
        const Handle axes_space(check(H5Screate_simple(1, &two, nullptr), "axes"), H5Sclose);
        const Handle axes_attribute(check(H5Acreate2(data.get(), "axes", text_type.get(),
                                                     axes_space.get(), H5P_DEFAULT, H5P_DEFAULT),
                                          "axes"),
                                    H5Aclose);
        check(H5Awrite(axes_attribute.get(), text_type.get(), axes), "axes");
        number_attribute(data.get(), "time_indices", 0);
        number_attribute(data.get(), "wavelength_indices", 1);
        data_ = Handle(check(H5Gopen2(root, hdf5_name::data, H5P_DEFAULT), "data"), H5Gclose);
    }

    void write(const Spectrum &spectrum) override {
        const std::vector<double> &wavelengths = *spectrum.wavelengths_nm;
        if (spectra_.get() < 0) create_series(wavelengths);
        const std::size_t length = measurement_ ? spectrum.values.size() : spectrum.counts.size();
        if (length != pixels_ || wavelengths.size() != pixels_)
            fail(fmt::format("spectrum {} has {} values, the series {}", spectrum.number, length,
                             pixels_));
        append(spectra_, pixels_,
               measurement_ ? static_cast<const void *>(spectrum.values.data())
                            : static_cast<const void *>(spectrum.counts.data()),
               measurement_ ? H5T_NATIVE_DOUBLE : H5T_NATIVE_UINT16);
        const double since_epoch =
            std::chrono::duration<double>(spectrum.time.time_since_epoch()).count();
        const double since_start = std::chrono::duration<double>(spectrum.time - started_).count();
        append(timestamp_, 1, &since_epoch, H5T_NATIVE_DOUBLE);
        append(time_, 1, &since_start, H5T_NATIVE_DOUBLE);  // last: the row is complete
        ++rows_;
        check(H5Fflush(file_.get(), H5F_SCOPE_LOCAL), "flush");
    }

    void end() override {
        const Handle entry(check(H5Gopen2(file_.get(), "entry", H5P_DEFAULT), "entry"), H5Gclose);
        text_dataset(entry.get(), "end_time", format_utc(std::chrono::system_clock::now()));
        check(H5Fflush(file_.get(), H5F_SCOPE_LOCAL), "flush");
    }

    void commit() override {
        close_all(true);
        committed_ = true;
    }

private:
    [[noreturn]] void fail(const std::string &why) const {
        throw Failure(ExitStatus::output, fmt::format("write {}: {}", path_, why));
    }

    template <class Id>
    Id check(Id result, const char *what) const {
        if (result < 0) fail(fmt::format("HDF5 failed to write the {}", what));
        return result;
    }

    void close_all(bool report) {
        for (Handle *handle : {&time_, &timestamp_, &spectra_, &data_}) handle->reset();
        const hid_t file = file_.release();  // closed here, with its result
        if (file >= 0 && H5Fclose(file) < 0 && report) fail("closing failed");
    }

    static Handle variable_text() {
        Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
        H5Tset_size(type.get(), H5T_VARIABLE);
        H5Tset_cset(type.get(), H5T_CSET_UTF8);
        return type;
    }

    Handle group(hid_t parent, const char *name, const char *nx_class) const {
        Handle created(
            check(H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), "groups"),
            H5Gclose);
        text_attribute(created.get(), "NX_class", nx_class);
        return created;
    }

    void text_attribute(hid_t object, const char *name, const std::string &text) const {
        const Handle type = variable_text();
        const Handle space(check(H5Screate(H5S_SCALAR), "attributes"), H5Sclose);
        const Handle attribute(
            check(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
                  "attributes"),
            H5Aclose);
        const char *value = text.c_str();
        check(H5Awrite(attribute.get(), type.get(), &value), "attributes");
    }

    void number_attribute(hid_t object, const char *name, int number) const {
        const Handle space(check(H5Screate(H5S_SCALAR), "attributes"), H5Sclose);
        const Handle attribute(
            check(H5Acreate2(object, name, H5T_STD_I32LE, space.get(), H5P_DEFAULT, H5P_DEFAULT),
                  "attributes"),
            H5Aclose);
        check(H5Awrite(attribute.get(), H5T_NATIVE_INT, &number), "attributes");
    }

    void text_dataset(hid_t parent, const char *name, const std::string &text) const {
        const Handle type = variable_text();
        const Handle space(check(H5Screate(H5S_SCALAR), "datasets"), H5Sclose);
        const Handle dataset(check(H5Dcreate2(parent, name, type.get(), space.get(), H5P_DEFAULT,
                                              H5P_DEFAULT, H5P_DEFAULT),
                                   "datasets"),
                             H5Dclose);
        const char *value = text.c_str();
        check(H5Dwrite(dataset.get(), type.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, &value),
              "datasets");
    }

    // A fixed 1-D dataset of doubles with its unit.
    void numbers(hid_t parent, const char *name, const double *values, hsize_t count,
                 const char *units) const {
        const Handle space(
            check(count == 0 ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &count, nullptr),
                  "datasets"),
            H5Sclose);
        const Handle dataset(check(H5Dcreate2(parent, name, H5T_IEEE_F64LE, space.get(),
                                              H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                                   "datasets"),
                             H5Dclose);
        check(H5Dwrite(dataset.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values),
              "datasets");
        if (units) text_attribute(dataset.get(), "units", units);
    }

    void write_instrument(hid_t entry, const SeriesSource &source) const {
        const Handle instrument = group(entry, "instrument", "NXinstrument");
        const hid_t at = instrument.get();
        const InstrumentIdentity &identity = source.identity;
        text_dataset(at, "name", describe_instrument(identity));
        text_dataset(at, "model", identity.model);
        text_dataset(at, "serial_number", identity.serial);
        text_dataset(at, "chip_serial", identity.chip_serial);
        text_dataset(at, "bridge", identity.description);
        text_dataset(at, "protocol", identity.protocol);
        text_dataset(at, "hardware_version", identity.hardware_version);
        text_dataset(at, "simulated", identity.simulated ? "yes" : "no");
        const double integration_ms = source.settings.integration_us / 1000.0;
        numbers(at, "integration_time", &integration_ms, 0, "ms");
        const double averages = source.settings.average;
        numbers(at, "averages", &averages, 0, nullptr);
        if (source.settings.range) {
            const double range[] = {source.settings.range->start_nm, source.settings.range->end_nm};
            numbers(at, "wavelength_range", range, 2, "nm");
        }
        if (!measurement_) return;
        const orvproc::ModeInfo &mode = orvproc::mode_info(measurement_->mode);
        text_dataset(at, "measurement_mode", std::string(mode.name));
        const double boxcar = measurement_->boxcar;
        numbers(at, "boxcar", &boxcar, 0, "pixels");
        numbers(at, "full_scale", &measurement_->full_scale, 0, "counts");
        const auto stored = [&](const char *name, const std::vector<StoredSpectrum> &list) {
            for (const StoredSpectrum &each : list)
                text_dataset(
                    at, name,
                    fmt::format("{}: {}, taken {}, {} spectr{}", each.chip_serial, each.file,
                                each.taken_utc, each.spectra, each.spectra == 1 ? "um" : "a"));
        };
        stored("dark", measurement_->darks);
        stored("reference", measurement_->references);
    }

    // The spectra, the times and the wavelengths, once the pixel count is known.
    void create_series(const std::vector<double> &wavelengths) {
        pixels_ = wavelengths.size();
        numbers(data_.get(), "wavelength", wavelengths.data(), pixels_, "nm");
        const hsize_t pixels = pixels_;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const auto extendable = [&](const char *name, int rank, hid_t type, const char *units) {
            const hsize_t now[] = {0, pixels};
            const hsize_t most[] = {H5S_UNLIMITED, pixels};
            const hsize_t chunk[] = {rank == 1 ? kTimeChunk : 1, pixels};
            const Handle space(check(H5Screate_simple(rank, now, most), "series"), H5Sclose);
            const Handle create(check(H5Pcreate(H5P_DATASET_CREATE), "series"), H5Pclose);
            check(H5Pset_chunk(create.get(), rank, chunk), "series");
            if (type == H5T_IEEE_F64LE)
                check(H5Pset_fill_value(create.get(), H5T_NATIVE_DOUBLE, &nan), "series");
            // No chunk cache: a spectrum's chunk is written whole, straight
            // to the file, and a time chunk is read back when extended.
            const Handle access(check(H5Pcreate(H5P_DATASET_ACCESS), "series"), H5Pclose);
            check(H5Pset_chunk_cache(access.get(), 0, 0, H5D_CHUNK_CACHE_W0_DEFAULT), "series");
            Handle dataset(check(H5Dcreate2(data_.get(), name, type, space.get(), H5P_DEFAULT,
                                            create.get(), access.get()),
                                 "series"),
                           H5Dclose);
            text_attribute(dataset.get(), "units", units);
            return dataset;
        };
        const std::string_view unit =
            measurement_ ? orvproc::mode_info(measurement_->mode).unit : "counts";
        spectra_ = extendable("spectra", 2, measurement_ ? H5T_IEEE_F64LE : H5T_STD_U16LE,
                              std::string(unit).c_str());
        if (measurement_)
            text_attribute(spectra_.get(), "long_name",
                           std::string(orvproc::mode_info(measurement_->mode).label));
        timestamp_ = extendable("timestamp", 1, H5T_IEEE_F64LE, "s");
        text_attribute(timestamp_.get(), "long_name", "seconds since 1970-01-01T00:00:00Z");
        time_ = extendable("time", 1, H5T_IEEE_F64LE, "s");
        text_attribute(time_.get(), "start", format_utc(started_));
    }

    // One more row of `width` values.
    void append(const Handle &dataset, std::size_t width, const void *values, hid_t type) {
        const int rank = &dataset == &spectra_ ? 2 : 1;
        const hsize_t extent[] = {rows_ + 1, width};
        check(H5Dset_extent(dataset.get(), extent), "series");
        const Handle file_space(check(H5Dget_space(dataset.get()), "series"), H5Sclose);
        const hsize_t start[] = {rows_, 0};
        const hsize_t count[] = {1, width};
        check(H5Sselect_hyperslab(file_space.get(), H5S_SELECT_SET, start, nullptr, count, nullptr),
              "series");
        const Handle memory(
            check(H5Screate_simple(rank, count + (rank == 1 ? 1 : 0), nullptr), "series"),
            H5Sclose);
        check(H5Dwrite(dataset.get(), type, memory.get(), file_space.get(), H5P_DEFAULT, values),
              "series");
    }

    std::string path_;
    const MeasurementHeader *measurement_;
    Handle file_;
    Handle data_, spectra_, timestamp_, time_;
    std::size_t pixels_ = 0;
    hsize_t rows_ = 0;
    std::chrono::system_clock::time_point started_;
    bool committed_ = false;
};

}  // namespace

std::unique_ptr<Hdf5SeriesFile> create_hdf5_series(const std::string &path,
                                                   const MeasurementHeader *measurement) {
    return std::make_unique<Hdf5Writer>(path, measurement);
}

}  // namespace orvcli
