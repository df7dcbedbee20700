#pragma once

// The printer's command codes, modes, frame limit and frame checksum: plain constants, so code
// that builds or reads a command needs neither the worker thread nor Qt.

#include <cstdint>

constexpr uint16_t cmdQueryDevice = 0x20;
constexpr uint16_t cmdSetLinkRate = 0x2B;
constexpr uint16_t cmdWriteLogo = 0x2D;
constexpr uint16_t cmdWriteProgram = 0x2E;
constexpr uint16_t cmdSelectMode = 0x2F;
constexpr uint16_t cmdSetParameters = 0x60;
constexpr uint16_t cmdSetBluetooth = 0x61;
constexpr uint16_t cmdSetIrRate = 0x62;
constexpr uint16_t cmdWriteFont = 0x63;
constexpr uint16_t cmdSetFactoryInfo = 0x64;

// Data bytes one request frame carries.
constexpr int32_t MaxCommandData = 1012;

constexpr uint32_t modeProgram = 0;
constexpr uint32_t modeDownload = 1;
constexpr uint32_t modeProgramEnd = 0xFFFFFFFF;

// A frame's checksum bytes: the header's (over bytes 0 to 9) and the data's, each the XOR of
// the bytes it covers.
constexpr uint8_t FrameChecksum(const uint8_t* p, int32_t n) {
    uint8_t x = 0;
    for (int32_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}
