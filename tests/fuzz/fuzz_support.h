// Shared pieces of the fuzz targets: the reset that puts every process-wide state of the library
// and the fake platform back to its state at load, a reader that takes values from the fuzz input,
// and a working configuration in a scratch installation folder.
#ifndef ZUK_TESTS_FUZZ_SUPPORT_H
#define ZUK_TESTS_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

// Takes bytes from the front of the input; past the end every value is zero or empty.
struct FuzzInput {
    const std::uint8_t *data;
    std::size_t size;

    std::uint8_t Byte();
    std::uint16_t Word();  // big-endian
    // Up to `limit` bytes, the count chosen by the next word.
    std::string Bytes(std::size_t limit);
    // What is left.
    std::string Rest();
};

// Every process-wide state back to its state at load: the fake platform, the serial port, the
// card, channel and link state, the frame, the prompt texts, the settings and the catalogue.
void FuzzResetAll();

// A scratch installation folder on a memory file system (ends with '/').
const std::string &FuzzInstallDir();
void FuzzWriteFile(const std::string &path, const std::string &content);

// Registry values and INI file of a working library (reader on COM3, system code 88B4, no trace).
void FuzzWriteConfig(std::uint32_t mode, std::uint32_t device, std::uint32_t config,
                     const std::string &extraIni = "");

#endif
