// SPDX-License-Identifier: MIT
// The parallel box's protocol pieces that tests look at directly: the base addresses
// of the direct path and the poll program that the port driver runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/os/port_bases.h"

namespace kelvora::driver {

// The bases and the port driver's device name belong to the OS layer.
using drvos::BaseForPortChar;
using drvos::IsParallelBase;
using drvos::kBaseLpt1;
using drvos::kBaseLpt2;
using drvos::kBaseLpt3;
using drvos::kPortDriverDevice;
// PortAddr of a record reached through the port driver.
inline constexpr uint32_t kPortDriverAddr = 1;
inline constexpr uint32_t kCtlPollProgram = 0x80002005;
inline constexpr uint32_t kCtlPortRequest = 0x80002000;

inline constexpr size_t kPollProgramItems = 62;
inline constexpr size_t kPollProgramWords = kPollProgramItems * 3;
inline constexpr size_t kPollProgramBytes = kPollProgramWords * 4;  // 744
// The item whose word 3 holds the assembled input word after the run.
inline constexpr size_t kPollResultItem = 9;

// Builds the poll program that sends motorWord and assembles the 16 inputs.
void BuildPollProgram(uint32_t motorWord, uint32_t (&words)[kPollProgramWords]);

}  // namespace kelvora::driver
