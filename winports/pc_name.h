// The PC's name as Windows gives it, in UTF-8: every record line carries it, so that the lines
// of a shop's several PCs can be told apart.
#pragma once

#include <string>

// "" when Windows gives none.
std::string PcName();
