#pragma once

// What the fuzz targets share: reading typed values out of the fuzzer's bytes, a scratch
// folder of their own, and a check that stops the run with a readable reason.

#include "text/GbkText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet::fuzz {

// A folder for the files a target writes, made once per process (under $TMPDIR, /dev/shm when
// there is no $TMPDIR) and removed when the process ends. Native path, ending without "/".
[[nodiscard]] const std::string& scratchFolder();

// Writes bytes to a file, replacing it; false when that fails.
bool writeFile(const std::string& path, std::string_view bytes);

// Stops the run (so libFuzzer keeps the input) when a property does not hold.
void check(bool holds, const char* what, std::string_view detail = {});

// Bytes shown as hex, for failure reports.
[[nodiscard]] std::string hex(std::string_view bytes);

} // namespace quillet::fuzz
