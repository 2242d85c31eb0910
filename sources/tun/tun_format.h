// Fixed texts of the .tun format shared by the reader and the writer. Private to the library.
#pragma once

namespace TUN {
namespace format {

const char* const kName = "AnaMark-TUN";
// Where the format is described; written into files and assumed for files without a header.
const char* const kSpecsURL = "https://www.tarnwellmusic.example/veltrane/tuning-file-format.html";

} // namespace format
} // namespace TUN
