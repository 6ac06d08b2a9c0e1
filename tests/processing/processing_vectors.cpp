// Writes the shared test vectors of the measurement modes:
//   processing_vectors tests/processing/vectors/modes.json
// Run once when the cases change; the file is checked in, and the C++
// (SharedVectors.*) and Python tests check their results against it.
#include <fstream>
#include <iostream>

#include "shared_vectors.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: processing_vectors FILE\n";
        return 2;
    }
    const nlohmann::json inputs = orvproc::vectors::inputs();
    const nlohmann::json &spectra = inputs.at("spectra");
    const nlohmann::json &cases = inputs.at("cases");
    std::ofstream out(argv[1], std::ios::binary);
    // One entry per line: reviewable diffs, numbers as the shortest exact text.
    out << "{\"spectra\": " << spectra.dump() << ",\n\"cases\": [\n";
    for (std::size_t i = 0; i < cases.size(); ++i)
        out << orvproc::vectors::computed(spectra, cases[i]).dump()
            << (i + 1 < cases.size() ? ",\n" : "\n");
    out << "]}\n";
    out.close();
    if (!out) {
        std::cerr << "processing_vectors: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
