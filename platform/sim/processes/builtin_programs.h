// Built-in programs: a PE file on the machine's drive whose code section
// carries the marker "BVLSIM-BUILTIN:<name>" (followed by a line feed or a NUL)
// runs the host program "bvlsim-<name>" from the folder of built-in programs
// when it is started, with the Windows command line's arguments. The process
// keeps the PE file's Windows path as its image, so it is listed, found and
// ended by that name. The system's schtasks.exe and the agent's stand-in
// programs are such files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

constexpr const char* kBuiltinMarker = "BVLSIM-BUILTIN:";

// The built-in program a file names: the name after the marker, empty when
// the file is no PE image or carries no marker, or the name is not letters,
// digits, '-' and '_' (so it cannot reach outside the folder of built-in
// programs). Reads at most the first megabyte of the file.
std::optional<std::string> BuiltinProgramName(const std::filesystem::path& hostFile);

// Whether the stub is a 64-bit image (PE32+); its program then runs as a
// 64-bit process of the machine.
bool BuiltinProgramIs64Bit(const std::filesystem::path& hostFile);

// The host executable of a built-in program ("bvlsim-<name>" in the build's
// folder of built-in programs); empty when it does not exist.
std::optional<std::filesystem::path> BuiltinProgramPath(const std::string& name);

// The bytes of a stub PE file for a built-in program, as the machine's
// creation writes system32\schtasks.exe and as the update host generator
// writes the agent's programs: an image of the machine type `machine`
// ("i386", "amd64") whose payload is the marker, the name, a line feed and
// `description`. Empty for an unknown machine type or a name that is not
// letters, digits, '-' and '_' (at most 64).
std::string BuiltinStubImage(const std::string& machine, const std::string& name,
                             const std::string& description = std::string());

}  // namespace platform
