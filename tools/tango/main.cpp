// OrvSpectrometer: the Tango device server of the spectrometers liborv drives.
//   OrvSpectrometer <instance> [-v<level>] [-file=<properties>] [-nodb -dlist <devices>]
#include <tango.h>

#include <iostream>

int main(int argc, char *argv[]) {
    Tango::Util *tango = nullptr;
    int status = 0;
    try {
        tango = Tango::Util::init(argc, argv);
        tango->server_init(false);
        std::cout << "Ready to accept request" << std::endl;
        tango->server_run();
    } catch (const std::bad_alloc &) {
        std::cerr << "OrvSpectrometer: out of memory" << std::endl;
        status = 1;
    } catch (const CORBA::Exception &e) {
        Tango::Except::print_exception(e);
        status = 1;
    }
    if (tango != nullptr) tango->server_cleanup();
    return status;
}
