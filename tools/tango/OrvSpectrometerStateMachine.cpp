// In which states the commands of OrvSpectrometer are allowed. Attributes are
// allowed in every state: reads answer from the last snapshot (invalid quality
// while there is no value), writes are set points the worker applies.
#include "OrvSpectrometer.h"

namespace OrvSpectrometer_ns {

namespace {
bool ready(Tango::DevState state) { return state == Tango::ON || state == Tango::ALARM; }
}  // namespace

bool OrvSpectrometer::is_Acquire_allowed(const CORBA::Any &) { return ready(dev_state()); }

bool OrvSpectrometer::is_Start_allowed(const CORBA::Any &) {
    const Tango::DevState state = dev_state();
    return ready(state) || state == Tango::RUNNING;
}

bool OrvSpectrometer::is_Stop_allowed(const CORBA::Any &) { return true; }

bool OrvSpectrometer::is_Reset_allowed(const CORBA::Any &) { return true; }

bool OrvSpectrometer::is_SelectRange_allowed(const CORBA::Any &) { return true; }

bool OrvSpectrometer::is_ClearRange_allowed(const CORBA::Any &) { return true; }

bool OrvSpectrometer::is_StoreDefaults_allowed(const CORBA::Any &) {
    const Tango::DevState state = dev_state();
    return ready(state) || state == Tango::RUNNING;
}

bool OrvSpectrometer::is_RestoreDefaults_allowed(const CORBA::Any &any) {
    return is_StoreDefaults_allowed(any);
}

// A dark or a reference is the last complete spectrum: one must exist, and
// the instrument must still be the one it was taken on.
bool OrvSpectrometer::is_StoreDark_allowed(const CORBA::Any &any) {
    return is_StoreDefaults_allowed(any);
}

bool OrvSpectrometer::is_StoreReference_allowed(const CORBA::Any &any) {
    return is_StoreDefaults_allowed(any);
}

}  // namespace OrvSpectrometer_ns
