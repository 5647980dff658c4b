// The document readers take file paths: each fuzz input is written to one temporary file per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quimbrel::fuzz {

// Writes the bytes to the process's scratch file and returns its path.
const std::string& writeInput(const std::uint8_t* data, std::size_t size);

} // namespace quimbrel::fuzz
