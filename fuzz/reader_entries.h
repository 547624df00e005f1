#pragma once
// Entry functions of the reader fuzz targets. Each one hands a byte string to
// one reader the way the program would meet it (as a file on disk, or as the
// text stream of a table) and returns 0; a reader may refuse the bytes, but
// must never crash, hang or touch memory it does not own. The libFuzzer
// targets (built with Clang) and the regression corpus test (built with the
// ordinary compiler) call the same functions.
#include "common/types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz_entry {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

struct Reader
{
    const char* name;  // also the folder of its corpus: fuzz/corpus/<name>
    Entry entry;
};

// Every fuzzed reader, in a fixed order.
const std::vector<Reader>& readers();
// The entry of the reader `name`, or nullptr.
Entry entry_of(const char* name);

int cube_file(const std::uint8_t* data, std::size_t size);    // own "*.3Dgrd" cube
int surfer_grid(const std::uint8_t* data, std::size_t size);  // Surfer 6 text / 7 binary
int segy(const std::uint8_t* data, std::size_t size);         // SEG-Y cube
int effects_file(const std::uint8_t* data, std::size_t size); // standalone "*.eff"
// A project with its sidecars: the bytes are the project file, optionally
// followed by project_part_separator and the "eff" sidecar, and by another
// separator and the "effh" sidecar. The sidecars are read with the shapes
// the program derives from the project read, as when it opens a project.
int project(const std::uint8_t* data, std::size_t size);
int bln(const std::uint8_t* data, std::size_t size);          // BLN polylines
int fault_sticks(const std::uint8_t* data, std::size_t size); // Charisma fault sticks
int xyz(const std::uint8_t* data, std::size_t size);          // XYZDens cube
// Both mean-density tables (by depth, by depth and layer) read into the
// grid and horizons of mean_density_model().
int mean_density(const std::uint8_t* data, std::size_t size);

// Separates the parts of a project input.
constexpr char project_part_separator[] = "\n--TOLMERA-SIDECAR--\n";

// The fixed model the mean-density tables are read into: 3 levels of 4 rows
// of 5 columns at depths 100, 200, 300, and two horizons (depths 0 and 150).
struct MeanDensityModel
{
    vector3D grid;
    std::vector<double> z;
    std::vector<field2D> horizons;
};
MeanDensityModel mean_density_model();

}  // namespace fuzz_entry
