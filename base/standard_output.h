#pragma once

#include <string>

namespace ostrel::base {

// Flushes and closes standard output at the end of a program. False when anything written to
// it was lost (a full disk, a closed pipe, a device that refuses it), with the system's reason
// in error when it is still known: "écriture de la sortie standard impossible (No space left
// on device)". A program that ends with false must not report success.
bool CloseStandardOutput(std::string& error);

} // namespace ostrel::base
