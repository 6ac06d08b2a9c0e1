// The OrvSpectrometer device: one spectrometer as a Tango device. Attribute
// reads answer from the worker's last snapshot, writes are checked and handed
// to the worker, commands only start or stop work there (instrument.h). This
// header is the server's own (Tango's headers come with it); the instrument
// side is in the Tango-free instrument.h.
#ifndef ORV_SPECTROMETER_H
#define ORV_SPECTROMETER_H

#include <tango.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "instrument.h"
#include "measurements.h"

namespace OrvSpectrometer_ns {

class OrvSpectrometer : public TANGO_BASE_CLASS, private orv_tango::Listener {
public:
    // Device properties.
    std::string serialNumber;        // instrument or chip serial; empty = the only one
    Tango::DevLong reconnectPeriod;  // ms; 0 = only Reset reconnects
    std::string provider;            // D2XX library path; empty = liborv's choice

    OrvSpectrometer(Tango::DeviceClass *cl, const char *name);
    ~OrvSpectrometer() override;

    void init_device() override;
    void delete_device() override;
    void always_executed_hook() override;
    void read_attr_hardware(std::vector<long> &attr_list) override;
    void write_attr_hardware(std::vector<long> &attr_list) override;
    // A write_<attribute> of the request in progress refused its value.
    void write_refused() { write_refused_ = true; }
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    // Attributes.
    void read_spectrum(Tango::Attribute &attr);
    void read_wavelengths(Tango::Attribute &attr);
    void read_integrationTime(Tango::Attribute &attr);
    void write_integrationTime(Tango::WAttribute &attr);
    void read_averages(Tango::Attribute &attr);
    void write_averages(Tango::WAttribute &attr);
    void read_levelOutput(Tango::Attribute &attr);
    void write_levelOutput(Tango::WAttribute &attr);
    void read_xenonMode(Tango::Attribute &attr);
    void write_xenonMode(Tango::WAttribute &attr);
    void read_dacVoltage(Tango::Attribute &attr);
    void write_dacVoltage(Tango::WAttribute &attr);
    void read_xenonPulse(Tango::Attribute &attr);
    void write_xenonPulse(Tango::WAttribute &attr);
    void read_externalTrigger(Tango::Attribute &attr);
    void write_externalTrigger(Tango::WAttribute &attr);
    void read_selectedRange(Tango::Attribute &attr);
    void read_selectedWavelengths(Tango::Attribute &attr);
    void read_selectedSpectrum(Tango::Attribute &attr);
    void read_storedIntegrationTime(Tango::Attribute &attr);
    void read_storedAverages(Tango::Attribute &attr);
    void read_storedSmoothingWidth(Tango::Attribute &attr);
    void write_storedSmoothingWidth(Tango::WAttribute &attr);
    void read_mode(Tango::Attribute &attr);
    void write_mode(Tango::WAttribute &attr);
    void read_processedSpectrum(Tango::Attribute &attr);
    void read_processedUnit(Tango::Attribute &attr);
    void read_measurementStatus(Tango::Attribute &attr);
    void read_temperature(Tango::Attribute &attr);
    void read_acquisitionCounter(Tango::Attribute &attr);
    void read_model(Tango::Attribute &attr);
    void read_serialNumber(Tango::Attribute &attr);
    void read_hardwareVersion(Tango::Attribute &attr);
    void read_protocol(Tango::Attribute &attr);

    // Commands.
    void acquire();
    void start();
    void stop();
    void reset();
    void select_range(const Tango::DevVarDoubleArray &range);
    void clear_range();
    void store_defaults();
    void restore_defaults();
    void store_dark();
    void store_reference();
    bool is_StoreDark_allowed(const CORBA::Any &any);
    bool is_StoreReference_allowed(const CORBA::Any &any);
    bool is_Acquire_allowed(const CORBA::Any &any);
    bool is_Start_allowed(const CORBA::Any &any);
    bool is_Stop_allowed(const CORBA::Any &any);
    bool is_Reset_allowed(const CORBA::Any &any);
    bool is_SelectRange_allowed(const CORBA::Any &any);
    bool is_ClearRange_allowed(const CORBA::Any &any);
    bool is_StoreDefaults_allowed(const CORBA::Any &any);
    bool is_RestoreDefaults_allowed(const CORBA::Any &any);

private:
    void get_device_property();
    std::string provider_refusal() const;
    Tango::DevState state_of(const orv_tango::Snapshot &snapshot, std::string *why);
    void push_state();
    void read_text(Tango::Attribute &attr, const std::string &text);
    void refuse_on_nir(const char *attribute);
    void stage(const orv_tango::SetPoints &change);
    template <class T, std::size_t N>
    void write_values(Tango::WAttribute &attr, const char *attribute, const char *meaning,
                      std::optional<std::array<T, N>> orv_tango::SetPoints::*member);

    // Listener (the instrument's publisher thread).
    std::shared_ptr<void> publisher_context() override;
    void phase_changed(orv_tango::Phase phase, const std::string &status) override;
    void spectrum_ready(const std::shared_ptr<const orv_tango::Spectrum> &spectrum) override;
    void temperature_read(double celsius) override;

    void store_measurement(orv_tango::Measurements::Kind kind);

    std::unique_ptr<orv_tango::Instrument> instrument_;
    orv_tango::Measurements measurements_;  // dark, reference, mode: kept over Init
    std::atomic<bool> closing_{false};      // no events once delete_device began
    Tango::DevState pushed_state_ = Tango::UNKNOWN;

    // The set points the accepted writes of the request in progress change;
    // handed to the worker together, or not at all when one was refused.
    orv_tango::SetPoints staged_;
    std::optional<std::uint8_t> staged_smoothing_;  // storedSmoothingWidth written
    bool write_refused_ = false;

    // What the last read_attr_hardware saw: the reads of one request answer
    // from it, each with a copy of its own (send in OrvSpectrometer.cpp).
    orv_tango::Snapshot snapshot_;
    std::string status_;
};

}  // namespace OrvSpectrometer_ns

#endif
