// velmar_multi_device_speed: finds every attached spectrometer and measures
// how long full-spectrum reads take under four acquisition settings.
#include <cstdio>
#include <iostream>

#include "bench.h"
#include "platform.h"
#include "report_output.h"

int main() {
    velmar::platform::prepare_standard_streams();
    auto outcome = velmar::run_benchmark(std::cout, std::cerr);
    // A report cut short is a failed run even when every instrument was timed.
    if (outcome) outcome = velmar::finish_report(std::cout, stdout);
    if (!outcome) {
        std::cout.flush();
        std::cerr << outcome.error().message << ": " << velmar::error_name(outcome.error().kind)
                  << std::endl;
        return 101;
    }
    return 0;
}
