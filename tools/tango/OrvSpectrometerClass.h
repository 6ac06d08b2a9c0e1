// The OrvSpectrometer Tango class: its commands, attributes and devices.
#ifndef ORV_SPECTROMETER_CLASS_H
#define ORV_SPECTROMETER_CLASS_H

#include <tango.h>

#include <string>
#include <vector>

#include "OrvSpectrometer.h"

namespace OrvSpectrometer_ns {

class OrvSpectrometerClass : public Tango::DeviceClass {
public:
    static OrvSpectrometerClass *init(const char *name);
    static OrvSpectrometerClass *instance();

protected:
    explicit OrvSpectrometerClass(std::string &name);
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr *> &attributes) override;
    void device_factory(const Tango::DevVarStringArray *devices) override;

private:
    static OrvSpectrometerClass *_instance;
};

}  // namespace OrvSpectrometer_ns

#endif
