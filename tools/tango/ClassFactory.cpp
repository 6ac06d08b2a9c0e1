// The classes of the device server: OrvSpectrometer only.
#include <tango.h>

#include "OrvSpectrometerClass.h"

void Tango::DServer::class_factory() {
    add_class(OrvSpectrometer_ns::OrvSpectrometerClass::init("OrvSpectrometer"));
}
