// Where the simulated ports of every process are listed, so that a client can show them: Wine
// cannot enumerate the pipe namespace. Each live port has a value under
// HKCU\Software\Tessivane\SimulatedPorts named after its pipe; an entry counts only while its
// owner still holds the port's name token, so entries of a crashed process are ignored.
#pragma once

#include <string>
#include <vector>

namespace tessivane {

// The per-port names derived from the port name: the pipe, and the token its owner holds.
std::wstring portPipeName(std::u16string const& portName);
std::wstring portTokenName(std::u16string const& portName);

void publishPort(std::u16string const& portName);
void withdrawPort(std::u16string const& portName);
std::vector<std::u16string> listedLivePorts();

}  // namespace tessivane
