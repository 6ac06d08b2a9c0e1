// The OrvSpectrometer Tango class: the commands, the attributes with their
// units, descriptions, limits and memorization, the device properties, and
// the creation of the devices.
#include "OrvSpectrometerClass.h"

#include <sstream>
#include <string>
#include <utility>

namespace OrvSpectrometer_ns {

namespace {

using orv_tango::Limits;

// Every attribute reads and writes through member functions of the device.
using Reader = void (OrvSpectrometer::*)(Tango::Attribute &);
using Writer = void (OrvSpectrometer::*)(Tango::WAttribute &);

template <class Base>
class DeviceAttr : public Base {
public:
    template <class... Args>
    DeviceAttr(Reader reader, Writer writer, Args... args)
        : Base(args...), reader_(reader), writer_(writer) {}

    void read(Tango::DeviceImpl *device, Tango::Attribute &attr) override {
        (static_cast<OrvSpectrometer *>(device)->*reader_)(attr);
    }
    void write(Tango::DeviceImpl *device, Tango::WAttribute &attr) override {
        if (writer_ == nullptr) return;
        auto *spectrometer = static_cast<OrvSpectrometer *>(device);
        try {
            (spectrometer->*writer_)(attr);
        } catch (const Tango::DevFailed &) {
            spectrometer->write_refused();
            throw;
        }
    }

private:
    Reader reader_;
    Writer writer_;
};

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

struct Properties {
    Properties(const char *unit_text, const char *text) : unit(unit_text), description(text) {}
    enum Memorization { MEMORIZED, NOT_MEMORIZED };
    Properties(const char *unit_text, const char *text, std::string low, std::string high,
               Memorization memorization = MEMORIZED)
        : unit(unit_text),
          description(text),
          min(std::move(low)),
          max(std::move(high)),
          memorized(memorization == MEMORIZED) {}

    const char *unit;
    const char *description;
    std::string min;  // empty: none
    std::string max;
    bool memorized = false;  // the writable ones
};

Tango::Attr *described(Tango::Attr *attr, const Properties &properties) {
    Tango::UserDefaultAttrProp prop;
    prop.set_unit(properties.unit);
    // The limits are the device's own check (it names the limit a write
    // passes); as min_value/max_value the kernel would refuse first, without.
    std::string description = properties.description;
    if (!properties.min.empty())
        description += " (" + properties.min + " to " + properties.max + ")";
    prop.set_description(description.c_str());
    attr->set_default_properties(prop);
    if (properties.memorized) {
        attr->set_memorized();
        attr->set_memorized_init(true);
    }
    return attr;
}

Tango::Attr *scalar(const char *name, long type, Reader reader, Writer writer,
                    const Properties &properties) {
    const Tango::AttrWriteType access = writer != nullptr ? Tango::READ_WRITE : Tango::READ;
    return described(new DeviceAttr<Tango::Attr>(reader, writer, name, type, access), properties);
}

Tango::Attr *spectrum(const char *name, Reader reader, const Properties &properties) {
    return described(new DeviceAttr<Tango::SpectrumAttr>(reader, nullptr, name, Tango::DEV_DOUBLE,
                                                         long{Limits::MAX_PIXELS}),
                     properties);
}

// A setting of a few values written together; not memorized (Tango memorizes
// scalars only): the device keeps it over reconnects, not over restarts.
Tango::Attr *grouped(const char *name, long type, long values, Reader reader, Writer writer,
                     const Properties &properties) {
    return described(
        new DeviceAttr<Tango::SpectrumAttr>(reader, writer, name, type, Tango::READ_WRITE, values),
        properties);
}

class DeviceCommand : public Tango::Command {
public:
    using Run = void (OrvSpectrometer::*)();
    using RunWithNumbers = void (OrvSpectrometer::*)(const Tango::DevVarDoubleArray &);
    using Allowed = bool (OrvSpectrometer::*)(const CORBA::Any &);

    DeviceCommand(const char *command_name, Run run, Allowed allowed)
        : Tango::Command(command_name, Tango::DEV_VOID, Tango::DEV_VOID),
          run_(run),
          allowed_(allowed) {}
    DeviceCommand(const char *command_name, RunWithNumbers run, Allowed allowed,
                  const char *argument)
        : Tango::Command(command_name, Tango::DEVVAR_DOUBLEARRAY, Tango::DEV_VOID, argument, ""),
          run_with_numbers_(run),
          allowed_(allowed) {}

    CORBA::Any *execute(Tango::DeviceImpl *device, const CORBA::Any &in) override {
        auto *spectrometer = static_cast<OrvSpectrometer *>(device);
        if (run_with_numbers_ != nullptr) {
            const Tango::DevVarDoubleArray *numbers = nullptr;
            extract(in, numbers);
            (spectrometer->*run_with_numbers_)(*numbers);
        } else {
            (spectrometer->*run_)();
        }
        return new CORBA::Any();
    }
    bool is_allowed(Tango::DeviceImpl *device, const CORBA::Any &any) override {
        return (static_cast<OrvSpectrometer *>(device)->*allowed_)(any);
    }

private:
    Run run_ = nullptr;
    RunWithNumbers run_with_numbers_ = nullptr;
    Allowed allowed_;
};

}  // namespace

OrvSpectrometerClass *OrvSpectrometerClass::_instance = nullptr;

OrvSpectrometerClass::OrvSpectrometerClass(std::string &class_name)
    : Tango::DeviceClass(class_name) {
    // The device properties, as tango_admin and Jive describe them.
    const char *properties[][3] = {
        {"SerialNumber",
         "The instrument's serial number or its bridge's chip serial; empty: the only "
         "instrument attached",
         ""},
        {"ReconnectPeriod",
         "Milliseconds between reconnection attempts after a fault; 0: only the Reset command "
         "reconnects",
         "2000"},
        {"Provider", "Path of the D2XX library; empty: liborv's own choice. One per server process",
         ""},
    };
    for (const auto &property : properties) {
        std::string name_text = property[0], description = property[1], value = property[2];
        add_wiz_dev_prop(name_text, description, value);
    }
}

OrvSpectrometerClass *OrvSpectrometerClass::init(const char *name) {
    if (_instance == nullptr) {
        std::string class_name(name);
        _instance = new OrvSpectrometerClass(class_name);
    }
    return _instance;
}

OrvSpectrometerClass *OrvSpectrometerClass::instance() {
    if (_instance == nullptr) {
        std::cerr << "OrvSpectrometerClass is not initialised" << std::endl;
        std::exit(-1);
    }
    return _instance;
}

void OrvSpectrometerClass::command_factory() {
    command_list.push_back(new DeviceCommand("Acquire", &OrvSpectrometer::acquire,
                                             &OrvSpectrometer::is_Acquire_allowed));
    command_list.push_back(
        new DeviceCommand("Start", &OrvSpectrometer::start, &OrvSpectrometer::is_Start_allowed));
    command_list.push_back(
        new DeviceCommand("Stop", &OrvSpectrometer::stop, &OrvSpectrometer::is_Stop_allowed));
    command_list.push_back(
        new DeviceCommand("Reset", &OrvSpectrometer::reset, &OrvSpectrometer::is_Reset_allowed));
    command_list.push_back(new DeviceCommand(
        "SelectRange", &OrvSpectrometer::select_range, &OrvSpectrometer::is_SelectRange_allowed,
        "start and end of the wavelength range in nm; selectedSpectrum then holds the pixels "
        "inside it"));
    command_list.push_back(new DeviceCommand("ClearRange", &OrvSpectrometer::clear_range,
                                             &OrvSpectrometer::is_ClearRange_allowed));
    command_list.push_back(new DeviceCommand("StoreDefaults", &OrvSpectrometer::store_defaults,
                                             &OrvSpectrometer::is_StoreDefaults_allowed));
    command_list.push_back(new DeviceCommand("RestoreDefaults", &OrvSpectrometer::restore_defaults,
                                             &OrvSpectrometer::is_RestoreDefaults_allowed));
    command_list.push_back(new DeviceCommand("StoreDark", &OrvSpectrometer::store_dark,
                                             &OrvSpectrometer::is_StoreDark_allowed));
    command_list.push_back(new DeviceCommand("StoreReference", &OrvSpectrometer::store_reference,
                                             &OrvSpectrometer::is_StoreReference_allowed));
}

void OrvSpectrometerClass::attribute_factory(std::vector<Tango::Attr *> &attributes) {
    using D = OrvSpectrometer;
    attributes.push_back(spectrum("spectrum", &D::read_spectrum,
                                  {"counts",
                                   "The last complete acquisition, one sample per pixel; its "
                                   "timestamp is the end of the acquisition"}));
    attributes.push_back(spectrum("wavelengths", &D::read_wavelengths,
                                  {"nm", "The wavelength of each pixel of spectrum"}));
    attributes.push_back(scalar(
        "integrationTime", Tango::DEV_DOUBLE, &D::read_integrationTime, &D::write_integrationTime,
        {"ms", "Integration time of one scan, applied before the next acquisition",
         number(Limits::MIN_INTEGRATION_MS), number(Limits::MAX_INTEGRATION_MS)}));
    attributes.push_back(scalar("averages", Tango::DEV_LONG, &D::read_averages, &D::write_averages,
                                {"", "Number of scans averaged into one spectrum",
                                 number(Limits::MIN_AVERAGES), number(Limits::MAX_AVERAGES)}));
    attributes.push_back(scalar(
        "levelOutput", Tango::DEV_SHORT, &D::read_levelOutput, &D::write_levelOutput,
        {"", "Level of the instrument's digital output", "0", number(Limits::MAX_BYTE_SETTING)}));
    attributes.push_back(scalar(
        "xenonMode", Tango::DEV_SHORT, &D::read_xenonMode, &D::write_xenonMode,
        {"", "Xenon lamp mode (UV-VIS instruments only)", "0", number(Limits::MAX_BYTE_SETTING)}));
    attributes.push_back(scalar(
        "dacVoltage", Tango::DEV_LONG, &D::read_dacVoltage, &D::write_dacVoltage,
        {"", "DAC output, 12-bit code (UV-VIS instruments only)", "0", number(Limits::MAX_DAC)}));
    attributes.push_back(
        grouped("xenonPulse", Tango::DEV_ULONG, long{Limits::XENON_PULSE_VALUES},
                &D::read_xenonPulse, &D::write_xenonPulse,
                {"",
                 "Xenon lamp pulse parameters: first, second, as the instrument takes them "
                 "(UV-VIS instruments only); written together"}));
    attributes.push_back(
        grouped("externalTrigger", Tango::DEV_UCHAR, long{Limits::TRIGGER_BYTES},
                &D::read_externalTrigger, &D::write_externalTrigger,
                {"",
                 "External trigger configuration: bytes 0, 1 and 3, as the instrument takes them "
                 "(UV-VIS instruments only); written together"}));
    attributes.push_back(spectrum("selectedRange", &D::read_selectedRange,
                                  {"nm",
                                   "First and last table wavelength inside the range the "
                                   "SelectRange command chose; invalid without one"}));
    attributes.push_back(spectrum("selectedWavelengths", &D::read_selectedWavelengths,
                                  {"nm", "The wavelengths inside the selected range"}));
    attributes.push_back(spectrum("selectedSpectrum", &D::read_selectedSpectrum,
                                  {"counts",
                                   "The pixels of spectrum inside the selected range; its "
                                   "timestamp is spectrum's"}));
    attributes.push_back(scalar("storedIntegrationTime", Tango::DEV_DOUBLE,
                                &D::read_storedIntegrationTime, nullptr,
                                {"ms",
                                 "Integration time stored in the instrument (UV-VIS instruments "
                                 "only); StoreDefaults stores, RestoreDefaults applies it"}));
    attributes.push_back(scalar("storedAverages", Tango::DEV_LONG, &D::read_storedAverages, nullptr,
                                {"",
                                 "Number of averages stored in the instrument (UV-VIS "
                                 "instruments only)"}));
    attributes.push_back(
        scalar("storedSmoothingWidth", Tango::DEV_SHORT, &D::read_storedSmoothingWidth,
               &D::write_storedSmoothingWidth,
               {"",
                "Smoothing width stored in the instrument (UV-VIS instruments only); a write "
                "stores it at once",
                "0", number(Limits::MAX_BYTE_SETTING), Properties::NOT_MEMORIZED}));
    attributes.push_back(scalar("mode", Tango::DEV_STRING, &D::read_mode, &D::write_mode,
                                {"",
                                 "What processedSpectrum holds: counts, dark-corrected, "
                                 "transmittance, reflectance or absorbance",
                                 "", "", Properties::MEMORIZED}));
    attributes.push_back(spectrum("processedSpectrum", &D::read_processedSpectrum,
                                  {"",
                                   "spectrum in the mode (its unit: processedUnit), against the "
                                   "dark and reference StoreDark and StoreReference kept; NaN "
                                   "where undefined (saturated, reference or sample not above "
                                   "dark); invalid while the mode lacks what it needs"}));
    attributes.push_back(scalar("processedUnit", Tango::DEV_STRING, &D::read_processedUnit, nullptr,
                                {"", "The unit of processedSpectrum: counts, % or AU"}));
    attributes.push_back(scalar("measurementStatus", Tango::DEV_STRING, &D::read_measurementStatus,
                                nullptr,
                                {"",
                                 "The mode, the undefined pixels of the last processed spectrum "
                                 "by cause, or why there is none; and the stored dark and "
                                 "reference"}));
    attributes.push_back(scalar("temperature", Tango::DEV_DOUBLE, &D::read_temperature, nullptr,
                                {"degC",
                                 "Internal temperature, read every second; its alarm limits "
                                 "(min_alarm, max_alarm) turn the state to ALARM"}));
    attributes.push_back(scalar("acquisitionCounter", Tango::DEV_LONG64,
                                &D::read_acquisitionCounter, nullptr,
                                {"", "Number of spectra acquired since the device started"}));
    attributes.push_back(scalar("model", Tango::DEV_STRING, &D::read_model, nullptr,
                                {"", "The instrument's model text"}));
    attributes.push_back(scalar("serialNumber", Tango::DEV_STRING, &D::read_serialNumber, nullptr,
                                {"", "The instrument's own serial number"}));
    attributes.push_back(scalar("hardwareVersion", Tango::DEV_STRING, &D::read_hardwareVersion,
                                nullptr, {"", "The instrument's hardware version"}));
    attributes.push_back(scalar("protocol", Tango::DEV_STRING, &D::read_protocol, nullptr,
                                {"", "UVVIS_ORV or NIR_LEGACY"}));
}

void OrvSpectrometerClass::device_factory(const Tango::DevVarStringArray *devices) {
    for (CORBA::ULong i = 0; i < devices->length(); ++i)
        device_list.push_back(new OrvSpectrometer(this, (*devices)[i]));
    for (CORBA::ULong i = 1; i <= devices->length(); ++i) {
        auto *device = static_cast<OrvSpectrometer *>(device_list[device_list.size() - i]);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            export_device(device);
        else
            export_device(device, device->get_name().c_str());
    }
}

}  // namespace OrvSpectrometer_ns
