// The yes/no question before a write, on standard error, answered on standard input.
#pragma once

#include <string>

#include "core/update_session.h"

// "y" or "yes" in any case is yes; an input that fails or ends is no; a stop request while
// the question is up is Stopped.
Answer AskToWrite(const std::string& question);
