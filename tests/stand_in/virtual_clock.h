// The virtual clock the fuzz targets run on. The fake platform layer reads
// and sleeps on it, and the scripted D2XX lets a read that times out cost its
// read timeout on it, so idle gaps, timeouts and polls take no real time.
#pragma once

namespace fuzz {

double virtual_now_ms();
void virtual_advance_ms(double ms);

}  // namespace fuzz
