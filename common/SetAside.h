#pragma once
// A damaged file of the user's (a history or a list that cannot be read whole) is moved out
// of the way before a fresh one takes its place, so whatever it still holds can be read
// back by hand.

#include <string>

namespace vireo {

// Renames path to path + ".damaged" (".damaged1", ".damaged2" ... when taken). Returns the
// new name, or an empty text when nothing was moved.
std::string SetAside(const std::string& path);

} // namespace vireo
