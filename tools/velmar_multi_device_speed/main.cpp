// velmar_multi_device_speed: finds every attached spectrometer and measures
// how long full-spectrum reads take under four acquisition settings.
#include <iostream>

#include "bench.h"
#include "platform.h"

int main() {
    velmar::platform::prepare_standard_streams();
    auto outcome = velmar::run_benchmark(std::cout, std::cerr);
    if (!outcome) {
        std::cout.flush();
        std::cerr << outcome.error().message << ": " << velmar::error_name(outcome.error().kind)
                  << std::endl;
        return 101;
    }
    return 0;
}
